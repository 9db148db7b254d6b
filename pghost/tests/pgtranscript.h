/*
 * pgtranscript.h - runs an SQL script on a PostgreSQL connection (libpq) and writes the
 * transcript the golden files hold: each comment line as it stands, each statement, then its
 * outcome: a result as an aligned table (numbers right-aligned, NULL shown as "-") with its row
 * count, a command's tag, or "ERROR <SQLSTATE>: <message>" with DETAIL and HINT lines; warnings
 * and notices appear where the server sent them, as "<SEVERITY> <SQLSTATE>: <message>".
 *
 * A statement ends with ";" at the end of a line (outside quotes and dollar quotes); a script
 * runs on to its end whatever fails, as the engine's transcripts do.  Nothing here is specific
 * to the extension.  Not thread-safe; one connection per call.
 */
#ifndef QS_PGTRANSCRIPT_H
#define QS_PGTRANSCRIPT_H

#include <functional>
#include <string>
#include <vector>

typedef struct pg_conn PGconn;

namespace qspg {

// The transcript of script run statement by statement on conn.
std::string runScript(PGconn *conn, const std::string &script);

// The statements of a script, without their final ";" (comment lines are not statements).
std::vector<std::string> splitStatements(const std::string &script);

// One connection made with conninfo, closed when the object goes; throws std::runtime_error
// when the connection cannot be made.
class Connection {
 public:
  explicit Connection(const std::string &conninfo);
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;
  PGconn *get() const { return conn_; }
  // Runs sql; throws std::runtime_error with the server's message when it fails.
  void exec(const std::string &sql) const;
  // The first column of the first row of a query (empty for NULL); throws when it fails.
  std::string value(const std::string &sql) const;
  // Every row of a query, each a vector of column texts ("-" for NULL); throws when it fails.
  std::vector<std::vector<std::string>> rows(const std::string &sql) const;
  // COPY ... FROM STDIN in text format: each row a vector of column values (tabs, line breaks
  // and backslashes escaped here); throws when it fails.
  void copyIn(const std::string &copyStatement, const std::vector<std::vector<std::string>> &rows) const;

 private:
  PGconn *conn_;
};

}  // namespace qspg

#endif /* QS_PGTRANSCRIPT_H */
