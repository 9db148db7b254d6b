/*
 * options.cpp - parsing of the console's command line and its help and version texts.
 */
#include "options.h"

#ifndef QUARN_PRODUCT_VERSION
#error "QUARN_PRODUCT_VERSION must be defined by the build"
#endif

namespace quarn {

const char *usageText() {
  return "Usage: quarn [options] [statement]\n"
         "Runs SQL statements and console commands against a database of the instance directory\n"
         "QUARNPATH (default ~/.quarn).  Statements come from the statement argument (several,\n"
         "each ended by ';', run in order and stop at the first that fails), from -f file, or from\n"
         "standard input (with line editing and history when it is a terminal).\n"
         "\n"
         "Options:\n"
         "  -d database  connect to the database first\n"
         "  -f file      run the statements of file, each ended by ';' (\"-\": standard input)\n"
         "  +c           do not commit after each statement (COMMIT and ROLLBACK end units of work)\n"
         "  -c           commit after each statement (the default)\n"
         "  -v           echo each statement before its result\n"
         "  --csv        write results as CSV with a header line; messages go to standard error\n"
         "  --json       write results as JSON, one object per row; messages go to standard error\n"
         "  --no-header  leave out the column heading of a table or the header line of CSV\n"
         "  --timing     show the elapsed time of each statement after its result\n"
         "  --           the remaining arguments are statement words, even when they begin with '-'\n"
         "  -h, --help   show this text\n"
         "  --version    show the product version\n"
         "\n"
         "Console commands besides SQL: CONNECT TO db [USER u USING p], CONNECT RESET, CONNECT,\n"
         "CREATE DATABASE db [WITHOUT GRAPHIC], DROP DATABASE db, LIST TABLES [FOR SCHEMA s | FOR ALL],\n"
         "DESCRIBE TABLE name, DESCRIBE query, QUIT.\n"
         "\n"
         "Exit status: 0 success (also no row found, SQL0100W), 2 a statement ended with another\n"
         "warning, 4 a statement failed, 8 a usage or file error.\n"
         "\n"
         "Examples:\n"
         "  quarn \"CREATE DATABASE shop\"\n"
         "  quarn -d shop \"CREATE TABLE t (id INT, name VARCHAR(20)); INSERT INTO t VALUES (1, 'a;b')\"\n"
         "  quarn -d shop --csv \"SELECT * FROM t\" > t.csv\n"
         "  quarn -d shop +c --timing -f load.sql\n";
}

std::string versionText() { return std::string("quarn (quarnxml) ") + QUARN_PRODUCT_VERSION + "\n"; }

std::string parseOptions(const std::vector<std::string> &args, ConsoleOptions *opts) {
  bool csv = false, json = false, wordsOnly = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string &a = args[k];
    bool isOption = !wordsOnly && !a.empty() && (a[0] == '-' || a == "+c");
    if (!isOption) {
      opts->statement += (opts->statement.empty() ? "" : " ") + a;
      continue;
    }
    if (a == "--") {
      wordsOnly = true;
    } else if (a == "-d" || a == "-f") {
      if (k + 1 >= args.size()) return "option " + a + " needs a value";
      (a == "-d" ? opts->database : opts->file) = args[++k];
      // An empty file name would read standard input as if none were given.
      if (a == "-f" && opts->file.empty()) return "option -f needs a file name (\"-\": standard input)";
      // An empty database name would run the statements without a connection (SQL1024N).
      if (a == "-d" && opts->database.empty()) return "option -d needs a database name";
    } else if (a == "+c" || a == "-c") {
      opts->autocommit = a == "-c";
    } else if (a == "-v") {
      opts->echo = true;
    } else if (a == "--csv") {
      csv = true;
      opts->format.mode = OutputMode::Csv;
    } else if (a == "--json") {
      json = true;
      opts->format.mode = OutputMode::Json;
    } else if (a == "--no-header") {
      opts->format.header = false;
    } else if (a == "--timing") {
      opts->timing = true;
    } else if (a == "--help" || a == "-h") {
      opts->help = true;
    } else if (a == "--version") {
      opts->version = true;
    } else {
      return "unknown option " + a;
    }
  }
  if (csv && json) return "give only one of --csv and --json";
  if (!opts->file.empty() && !opts->statement.empty()) return "give either a statement or -f file";
  return "";
}

}  // namespace quarn
