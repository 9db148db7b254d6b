/*
 * console.h - the console `quarn`: runs SQL and console commands against a database and prints
 * results (an aligned table, CSV or JSON) and failures as "SQLnnnnN text  SQLSTATE=xxxxx".  The
 * program's main() and the SQL-script tests both call runConsole; it keeps no state between
 * calls, except libedit's history while an interactive run lasts.
 */
#ifndef QUARN_SHELL_CONSOLE_H
#define QUARN_SHELL_CONSOLE_H

#include <iostream>
#include <string>
#include <vector>

namespace quarn {

// Runs the console with the arguments after the program name (see usageText() in options.h).
// Statements come from the statement argument (run in order, stopping at the first that fails),
// from -f file, or from in: interactive, with prompts, line editing and history, when
// interactive is true (in and out are a terminal).  Results go to out; messages go to out in
// the table mode and to err with --csv and --json; usage and file errors go to err.  Returns
// the exit status: 0 success (no row found too), 2 when a statement ended with another
// warning, 4 when one failed, 8 for a usage or file error.
int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, std::ostream &err,
               bool interactive);
// The same with err and out one stream.
int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, bool interactive);

}  // namespace quarn

#endif  // QUARN_SHELL_CONSOLE_H
