/*
 * output.h - how the console writes results: as an aligned table (the default, for people), as
 * CSV (RFC 4180 quoting, a header line) or as JSON (one object per row, numbers as numbers,
 * NULL as null), for scripts.  A value's text is the engine's display text in every mode; only
 * the quoting differs (the table shows line breaks and tabs as blanks, to keep its columns).
 * One writer per console run; it writes to the stream it is given and keeps no other state
 * between result sets.  Not thread-safe.
 */
#ifndef QUARN_SHELL_OUTPUT_H
#define QUARN_SHELL_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include "engine.h"

namespace quarn {

enum class OutputMode { Table, Csv, Json };

struct OutputFormat {
  OutputMode mode = OutputMode::Table;
  bool header = true;  // the table's column heading, the CSV header line
};

// Text as it may reach a terminal: every control character (C0, DEL, C1) and every byte that
// is not UTF-8 is U+FFFD, so that stored data cannot move the cursor, retitle the window or
// clear the screen.  A line break or a tab is a blank when inCell (a table cell, so a row stays
// on its line) and kept as it is otherwise (CALL outputs, messages).  The table counts its
// widths on this text.
std::string shownText(const std::string &s, bool inCell = true);

class ResultWriter {
 public:
  ResultWriter(std::ostream &out, OutputFormat format) : out_(out), format_(format) {}

  OutputMode mode() const { return format_.mode; }

  // Starts a result set.  types[c] is Base::None where the engine cannot tell a column's type;
  // such a column counts as numeric when every value in it is a number.
  void begin(std::vector<std::string> names, std::vector<QType> types);
  // One row, as many values as names.  CSV and JSON write it at once; the table keeps it until
  // end() knows the column widths.
  void row(const std::vector<Value> &values);
  // Ends the result set.  complete false when a failure cut it short: the rows read so far are
  // still shown (a table only when there are any, and without its "record(s) selected." line,
  // which would read as success before the failure), as a cursor would have delivered them.
  void end(bool complete);
  // The OUT and INOUT values a CALL returned: a list of names and values in the table mode, a
  // result set of one row (one column per parameter) in the others.  Nothing when there are none.
  void callOutputs(const std::vector<Statement::CallOutput> &outputs);

 private:
  void writeTable(bool complete);

  std::ostream &out_;
  OutputFormat format_;
  std::vector<std::string> names_;
  std::vector<std::string> keys_;  // JSON: the names, a repeated one made unique
  std::vector<QType> types_;
  std::vector<int> untypedNumeric_;             // per column: no value seen that is not a number
  std::vector<std::vector<std::string>> cells_; // the table's rows until end()
  size_t rows_ = 0;
};

}  // namespace quarn

#endif  // QUARN_SHELL_OUTPUT_H
