/*
 * console.h - the console `quarn`: runs SQL and console commands against a database and prints
 * results as aligned tables and failures as "SQLnnnnN text  SQLSTATE=xxxxx".  The program's
 * main() and the SQL-script tests both call runConsole; it keeps no state between calls.
 */
#ifndef QUARN_SHELL_CONSOLE_H
#define QUARN_SHELL_CONSOLE_H

#include <iostream>
#include <string>
#include <vector>

namespace quarn {

// Runs the console with the arguments after the program name.  Statements come from the
// statement argument, from -f file, or from in (interactive when in is a terminal).  Returns
// the exit status: 0 success, 2 when a statement ended with a warning, 4 when one failed,
// 8 for a usage or file error.
int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, bool interactive);

}  // namespace quarn

#endif  // QUARN_SHELL_CONSOLE_H
