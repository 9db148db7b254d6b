/*
 * quarnparseguard_install.h - puts the counting of the parser library's work in place and takes
 * it away again; called by quarnxmlinit when it is loaded and unloaded.
 */
#ifndef QUARN_QUARNPARSEGUARD_INSTALL_H
#define QUARN_QUARNPARSEGUARD_INSTALL_H

// Points the parser library's calls of the functions counted at the counting ones; true when every
// one was found (otherwise nothing is changed).  Once, after the library is initialised.
bool quarnParseGuardInstall();

// Points them back at the library's own functions, before this library's code goes away.
void quarnParseGuardRemove();

#endif /* QUARN_QUARNPARSEGUARD_INSTALL_H */
