/*
 * quarnpatternguard_install.h - puts the pattern matcher's counting in place and takes it away
 * again; called by quarnxmlinit when it is loaded and unloaded.
 */
#ifndef QUARN_QUARNPATTERNGUARD_INSTALL_H
#define QUARN_QUARNPATTERNGUARD_INSTALL_H

// Points the parser library's calls of its matcher at the counting functions; true when every
// one was found (otherwise nothing is changed).  Once, after the library is initialised.
bool quarnPatternGuardInstall();

// Points them back at the library's own functions, before this library's code goes away.
void quarnPatternGuardRemove();

#endif /* QUARN_QUARNPATTERNGUARD_INSTALL_H */
