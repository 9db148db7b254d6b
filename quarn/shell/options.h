/*
 * options.h - the console's command line: the options, the statement words, and the texts of
 * --help and --version.  Pure parsing; no state, thread-safe.
 */
#ifndef QUARN_SHELL_OPTIONS_H
#define QUARN_SHELL_OPTIONS_H

#include <string>
#include <vector>

#include "output.h"

namespace quarn {

struct ConsoleOptions {
  std::string database;   // -d: connect first
  std::string file;       // -f: run the statements of this file ("-" is standard input)
  std::string statement;  // the words that are not options, joined by blanks
  bool autocommit = true; // +c turns it off, -c on
  bool echo = false;      // -v
  bool timing = false;    // --timing
  OutputFormat format;    // --csv, --json, --no-header
  bool help = false;      // --help, -h
  bool version = false;   // --version
};

// Parses the arguments after the program name into *opts.  Returns an empty text on success,
// else what is wrong ("unknown option --x", "option -d needs a value", "option -d needs a
// database name" for an empty one, "give either a statement or -f file", "give only one of
// --csv and --json").
std::string parseOptions(const std::vector<std::string> &args, ConsoleOptions *opts);

// The --help text: every option with one line, and examples.
const char *usageText();

// The --version text: the program and the product version, one line.
std::string versionText();

}  // namespace quarn

#endif  // QUARN_SHELL_OPTIONS_H
