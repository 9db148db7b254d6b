/*
 * lineinput.cpp - the console's line readers: plain stream reading, and terminal reading with
 * libedit's editing and history (through its readline-compatible interface).
 */
#include "lineinput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef QUARN_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace quarn {
namespace {

constexpr const char *kPrompt = "quarn => ";
constexpr const char *kContinuationPrompt = "quarn (cont.) => ";
constexpr int kHistoryLines = 1000;

// Reads a line of in; false at its end or when it cannot be read, then *failure holds the
// reason of a read error.  A file stream reports a read error as its bad state; std::cin reads
// through C's stdin, which reports one only through ferror.
bool readLine(std::istream &in, std::string *line, std::string *failure) {
  errno = 0;
  if (std::getline(in, *line)) return true;
  int err = errno;
  if (in.bad() || (in.rdbuf() == std::cin.rdbuf() && std::ferror(stdin)))
    *failure = std::strerror(err != 0 ? err : EIO);
  return false;
}

class StreamLineReader : public LineReader {
 public:
  explicit StreamLineReader(std::istream &in) : in_(in) {}
  bool next(std::string *line, bool) override {
    if (!readLine(in_, line, &failure_)) return false;
    if (first_) dropByteOrderMark(line);
    first_ = false;
    return true;
  }

 private:
  std::istream &in_;
  bool first_ = true;
};

#ifdef QUARN_HAVE_LIBEDIT

class EditLineReader : public LineReader {
 public:
  EditLineReader(std::ostream &out, std::string historyFile) : out_(out), historyFile_(std::move(historyFile)) {
    rl_readline_name = "quarn";
    // A tab is text in SQL, not a request to complete a file name.
    rl_bind_key('\t', rl_insert);
    using_history();
    stifle_history(kHistoryLines);
    if (!historyFile_.empty()) read_history(historyFile_.c_str());
  }
  ~EditLineReader() override { clear_history(); }

  bool next(std::string *line, bool continuation) override {
    out_.flush();
    std::fflush(stdout);
    char *l = readline(continuation ? kContinuationPrompt : kPrompt);
    if (l == nullptr) {
      out_ << "\n";
      out_.flush();
      return false;
    }
    line->assign(l);
    std::free(l);
    if (!line->empty() && *line != last_) {
      add_history(line->c_str());
      last_ = *line;
      save();
    }
    return true;
  }

 private:
  // The history may hold passwords of CONNECT statements: the file is its owner's alone.  A
  // history file that is a symbolic link is left alone.
  void save() {
    if (historyFile_.empty()) return;
    int fd = ::open(historyFile_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    ::close(fd);
    write_history(historyFile_.c_str());
  }

  std::ostream &out_;
  std::string historyFile_;
  std::string last_;
};

#else

class PromptLineReader : public LineReader {
 public:
  PromptLineReader(std::istream &in, std::ostream &out) : in_(in), out_(out) {}
  bool next(std::string *line, bool continuation) override {
    out_ << (continuation ? kContinuationPrompt : kPrompt) << std::flush;
    return readLine(in_, line, &failure_);
  }

 private:
  std::istream &in_;
  std::ostream &out_;
};

#endif

}  // namespace

void dropByteOrderMark(std::string *text) {
  if (text->compare(0, 3, "\xEF\xBB\xBF") == 0) text->erase(0, 3);
}

std::unique_ptr<LineReader> streamLineReader(std::istream &in) { return std::make_unique<StreamLineReader>(in); }

std::unique_ptr<LineReader> terminalLineReader(std::istream &in, std::ostream &out, const std::string &historyFile) {
#ifdef QUARN_HAVE_LIBEDIT
  (void)in;
  return std::make_unique<EditLineReader>(out, historyFile);
#else
  (void)historyFile;
  return std::make_unique<PromptLineReader>(in, out);
#endif
}

}  // namespace quarn
