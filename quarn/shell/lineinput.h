/*
 * lineinput.h - where the console's lines come from: a stream (a file, a pipe: no prompt, no
 * editing), or a terminal, where libedit gives line editing, prompts and a history kept in a
 * file of the instance directory.  One reader per console run; libedit's state is
 * process-wide, so only one terminal reader may exist at a time.  Not thread-safe.
 */
#ifndef QUARN_SHELL_LINEINPUT_H
#define QUARN_SHELL_LINEINPUT_H

#include <istream>
#include <memory>
#include <ostream>
#include <string>

namespace quarn {

class LineReader {
 public:
  virtual ~LineReader() = default;
  // Reads the next line into *line, without its line end; false at the end of the input.
  // continuation: the line continues an unfinished statement (a terminal prompts differently).
  virtual bool next(std::string *line, bool continuation) = 0;
  // After next() returned false: why the input could not be read (the system's text, such as
  // "Is a directory"), or empty when it simply ended.
  const std::string &failure() const { return failure_; }

 protected:
  std::string failure_;
};

// Drops a UTF-8 byte-order mark at the start of *text (the first line of a file or of standard
// input, a statement argument): an editor may save one, and it is no part of the first
// statement, whose first word it made an unexpected token the user could not see.
void dropByteOrderMark(std::string *text);

// Lines of in, read as they are (a byte-order mark before the first dropped); nothing is written.
std::unique_ptr<LineReader> streamLineReader(std::istream &in);

// Lines typed at the terminal on standard input, with prompts "quarn => " and
// "quarn (cont.) => ".  out is flushed before each prompt, so results appear before it.  Lines
// that are not empty go to the history, which is read from historyFile at the start and written
// back (at most 1000 lines, the file readable by its owner only) after each line; an empty
// historyFile keeps no history.  Built without libedit, the prompts are written to out and
// lines read from in without editing.
std::unique_ptr<LineReader> terminalLineReader(std::istream &in, std::ostream &out, const std::string &historyFile);

}  // namespace quarn

#endif  // QUARN_SHELL_LINEINPUT_H
