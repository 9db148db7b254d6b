/*
 * kelcompq.h - what both composition mappings share: the result columns of a query bound for
 * fetching (character data, large objects as locators), values written escaped into a
 * document, the document being written, and where finished documents go (a result table, or
 * one large-object output).
 *
 * Used by the SQL mapping (kelscomp), the RDB_node mapping (kelrcomp) and the driver
 * (kelcomp).  Every object belongs to one composition call and one thread; statements and
 * locators belong to the call's connection, which shares the caller's session.
 */
#ifndef KEL_COMPQ_H
#define KEL_COMPQ_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "kelbuf.h"
#include "kelcli.h"
#include "kelfile.h"
#include "kelresult.h"
#include "sqlcli.h"

struct KelCallContext;

// Smallest value buffer of a column bound as character data, in bytes.
inline constexpr int64_t KEL_MIN_COLUMN_BUFFER = 3000;
// Most large-object columns one query may bind (one more: KELQ071E).
inline constexpr int KEL_MAX_LOB_COLUMNS = 250;
// A composed document stays in memory up to this many bytes, and starts with room for
// KEL_DOC_INITIAL_SIZE.
inline constexpr int64_t KEL_DOC_MEMORY_LIMIT = 32766;
inline constexpr int64_t KEL_DOC_INITIAL_SIZE = 4096;

// One result column of a query.
struct KelBoundColumn {
  std::string name;          // as described (database code page)
  SQLSMALLINT sqlType = 0;   // described SQL type
  SQLULEN size = 0;          // described size
  bool locator = false;      // a CLOB, DBCLOB or BLOB column: bound as a locator
  std::vector<char> value;   // character data: max(3000, size in bytes) + 1; locator: 4 bytes
  SQLLEN indicator = 0;      // length or SQL_NULL_DATA after a fetch
};

/*
 * The result columns of one query, described and bound once; each fetch fills them.  The
 * locators of a row are freed before the next fetch and when the set is released, so a query
 * keeps at most one row's locators.
 */
class KelQueryColumns {
 public:
  KelQueryColumns() = default;
  ~KelQueryColumns();
  KelQueryColumns(const KelQueryColumns &) = delete;
  KelQueryColumns &operator=(const KelQueryColumns &) = delete;

  /*
   * Describes every result column of stmt and binds it.  Returns 0; KELQ071E ("250") for a
   * 251st large-object column; KELG002E when memory is short; a failed describe or bind is
   * the interface failure report (-57).
   */
  int bind(KelCallContext *ctx, SQLHSTMT stmt, const char *unit, char *sqlstate, char *msg);
  /*
   * Fetches the next row (the previous row's locators are freed first).  Returns SQL_SUCCESS
   * (also for a fetch that only warns), SQL_NO_DATA, or the interface failure report (-57);
   * a character value longer than its buffer is refused the same way (never written cut).
   */
  int fetch(KelCallContext *ctx, const char *what, const char *unit, char *sqlstate, char *msg);
  // Frees the locators of the current row.
  void freeLocators(KelCallContext *ctx);
  // Closes the cursor of the statement bound last and frees the current row's locators.
  void close(KelCallContext *ctx);

  int count() const { return static_cast<int>(columns_.size()); }
  const KelBoundColumn &column(int i) const { return columns_[static_cast<size_t>(i)]; }
  KelBoundColumn &column(int i) { return columns_[static_cast<size_t>(i)]; }
  // The first column called name, or -1.
  int find(const std::string &name) const;
  bool isNull(int i) const { return columns_[static_cast<size_t>(i)].indicator == SQL_NULL_DATA; }
  // Character value of column i (terminated) and its length in bytes.
  const char *text(int i) const { return columns_[static_cast<size_t>(i)].value.data(); }
  size_t length(int i) const;

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::vector<KelBoundColumn> columns_;
  bool rowHasLocators_ = false;
};

/*
 * The document being written: a document buffer (4096 bytes to start, memory up to 32766
 * bytes, a temporary file beyond) fed through a small staging string, so that many short
 * pieces cost one append.  The buffer is released (memory freed, file removed) by release()
 * or the destructor.
 */
class KelDocWriter {
 public:
  explicit KelDocWriter(KelCallContext *ctx) : ctx_(ctx) {}
  ~KelDocWriter() { release(); }
  KelDocWriter(const KelDocWriter &) = delete;
  KelDocWriter &operator=(const KelDocWriter &) = delete;

  // Sets up an empty buffer.  Returns 0, or the buffer's failure with msg set.
  int start(char *sqlstate, char *msg);
  // Appends the document's header; the XML version it declares decides which characters a
  // value may hold (kelAppendEscapedValue).
  void appendHeader(const std::string &header);
  bool xml11() const { return xml11_; }
  void append(const char *text, size_t n) { pending_.append(text, n); }
  void append(const std::string &text) { pending_ += text; }
  void append(char c) { pending_ += c; }
  // Hands what is staged to the buffer when enough has gathered.  Returns 0; -63 with
  // KELQ002E when the buffer cannot take it.
  int flushIfFull(char *sqlstate, char *msg) { return pending_.size() >= kStage ? flush(sqlstate, msg) : 0; }
  int flush(char *sqlstate, char *msg);
  // The document's buffer, after flush().
  KelDocBuffer *buffer() { return &buf_; }
  int64_t length() const;
  void release();

 private:
  static constexpr size_t kStage = 8192;
  KelCallContext *ctx_;
  KelDocBuffer buf_{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
  bool started_ = false;
  bool xml11_ = false;
  std::string pending_;
};

/*
 * Appends value[0..n) to the document as markup that reads back as the same text
 * (kelAppendMarkupEscapedBytesTo): ", &, ', <, > as their entities, CR, the other control
 * characters (in an attribute value, attribute set, also TAB and LF), the C1 controls and
 * U+2028 as character references.  A UTF-8 database's bytes are escaped as they are; another
 * code page goes through UTF-16.  Returns 0; -57 with KELG001E for text the code page cannot
 * represent; -54 with KELD000E for a character the document cannot hold (kelXmlCannotHold:
 * U+0001 in an XML 1.0 document, which no parser would read back even as "&#1;").
 */
int kelAppendEscapedValue(KelCallContext *ctx, KelDocWriter *doc, const char *value, size_t n, bool attribute,
                          char *sqlstate, char *msg);

/*
 * Appends the value of column i of the current row, escaped for an attribute value (attribute
 * set) or for text: character data as kelAppendEscapedValue, a CLOB or DBCLOB through its
 * locator in pieces of KEL_SP_LOB_CHUNK bytes (kelLocatorToXmlText, which holds back a
 * character split between two pieces).  A null value appends nothing.  A BLOB has no character
 * form: KELG005E (-91).  A FOR BIT DATA value is written only when its bytes are text of the
 * database code page that the document can hold, else KELA059E (-43) names its type and the
 * column.  Returns 0 or the failure's code.
 */
int kelAppendColumnValue(KelCallContext *ctx, KelDocWriter *doc, KelQueryColumns *cols, int i, bool attribute,
                         char *sqlstate, char *msg);

/*
 * The documents of one call that go to a result table, held until the mapping's queries are
 * done and then inserted in the order they were made.  So no query of the call ever reads a row
 * the call inserted: a result table that is also one of the tables the documents are made of
 * gets no documents of the call's own rows, and the call cannot feed itself without end.  The
 * documents wait in memory up to KEL_STAGE_MEMORY bytes; past that they all move to one
 * temporary file (made then, removed with the object), so memory does not grow with the
 * number of documents.
 */
inline constexpr size_t KEL_STAGE_MEMORY = 4u << 20;

class KelDocStage {
 public:
  // memory: the bytes held in memory before the documents move to a file.
  explicit KelDocStage(KelCallContext *ctx, size_t memory = KEL_STAGE_MEMORY) : ctx_(ctx), memory_(memory) {}
  ~KelDocStage();
  KelDocStage(const KelDocStage &) = delete;
  KelDocStage &operator=(const KelDocStage &) = delete;

  // Appends the writer's finished (flushed) document.  Returns 0; -63 with KELQ002E when the
  // temporary file cannot be made or written.
  int add(KelDocWriter *doc, char *sqlstate, char *msg);
  /*
   * Inserts every document held, in order, with kelInsertResult (validated first when
   * validate is set), each as a document buffer as it was made (in memory up to
   * KEL_DOC_MEMORY_LIMIT, a temporary file beyond).  Returns 0, the first insert's failure, or
   * -63 with KELQ002E when the file cannot be read back.
   */
  int insertAll(KelResultTable *table, bool validate, const KelValidationDesc &desc, char *sqlstate, char *msg);

 private:
  int failed(const char *what, char *sqlstate, char *msg);
  int toFile(char *sqlstate, char *msg);
  int put(const char *bytes, size_t n);
  int insertOne(KelResultTable *table, bool validate, const KelValidationDesc &desc, char *text, int64_t length,
                char *sqlstate, char *msg);

  KelCallContext *ctx_;
  size_t memory_;
  std::string held_;                 // length (int64_t), bytes and a terminator per document
  std::optional<KelTempFile> file_;  // made when held_ would pass memory_
  FILE *fp_ = nullptr;
  std::vector<char> ioBuffer_;       // the file's stream buffer
  int64_t count_ = 0;
};

/*
 * Where the finished documents of one call go, and how many were made.
 */
struct KelComposeOutput {
  KelResultTable *table = nullptr;  // one row per document; null: the large-object output
  KelDocStage *stage = nullptr;     // with a table: where documents wait for it (null: inserted at once)
  bool validate = false;            // the DAD asks for validation
  KelValidationDesc validation;
  // Large-object output: the first document only.
  char *lobData = nullptr;
  int64_t lobCapacity = 0;
  uint32_t lobLength = 0;
  bool lobSet = false;  // the first document was stored
  int32_t valid = -1;   // its validation result; -1 without validation
  int64_t maxRows = 0;  // 0: no limit
  int64_t count = 0;    // documents made
  // True when the next document is only to be counted (the large object is taken).
  bool countOnly() const { return table == nullptr && lobSet; }
  // True when maxRows documents were made: no further document is made.  The mappings ask
  // once they have found the next document's row, so KELQ003W means one more exists.
  bool full() const { return maxRows > 0 && count >= maxRows; }
};

/*
 * Delivers a finished document: hands it to the stage of the result table (or, without one,
 * inserts it, validated first when asked, kelInsertResult) or stores it into the large-object
 * output with its validation result.
 * Returns 0 or the failure's code with sqlstate and msg set.  The document's buffer stays the
 * writer's.
 */
int kelDeliverDoc(KelCallContext *ctx, KelComposeOutput *out, KelDocWriter *doc, char *sqlstate, char *msg);

// Owners of call-level-interface handles.
struct KelStmtHandle {
  SQLHSTMT h = SQL_NULL_HSTMT;
  KelStmtHandle() = default;
  ~KelStmtHandle() { reset(); }
  KelStmtHandle(const KelStmtHandle &) = delete;
  KelStmtHandle &operator=(const KelStmtHandle &) = delete;
  void reset() {
    if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
    h = SQL_NULL_HSTMT;
  }
};

#endif /* KEL_COMPQ_H */
