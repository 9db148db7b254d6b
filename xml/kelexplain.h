/*
 * kelexplain.h - path diagnostics: why a location path selects what it selects, or nothing.
 * One SAX pass over a document (the parse settings, entity resolver and limits of extraction)
 * gives findings: the elements and attributes the path selects (MATCH), elements the path
 * almost selects (a namespace prefix, letter case, a failed predicate, another depth), and the
 * bracket text the path language accepts and ignores (IGNORED).  Used by the explainPath table
 * functions.  Every call is self-contained and runs on the caller's thread; the rows belong to
 * the caller.
 */
#ifndef KEL_EXPLAIN_H
#define KEL_EXPLAIN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct KelCallContext;

// Rows an explanation gives at most.
inline constexpr size_t KEL_EXPLAIN_MAX_ROWS = 100;
// Bytes of FOUND_PATH and DETAIL at most (their column length).
inline constexpr size_t KEL_EXPLAIN_TEXT_BYTES = 1024;

// One finding; texts in the database code page, each at most KEL_EXPLAIN_TEXT_BYTES bytes.
struct KelExplainRow {
  std::string kind;       // MATCH, PREFIX, CASE, PREDICATE, DEPTH or IGNORED
  bool hasLine = false;   // false for findings about the path (IGNORED): LINE is NULL
  int32_t line = 0;       // where the parser reports the element's start tag (after its ">")
  int32_t col = 0;        // that column; for IGNORED the position in the path (from 0)
  std::string foundPath;  // the element as "/o:order/o:item" ("/a/b/@k" for an attribute);
                          // IGNORED: the ignored text
  std::string detail;     // what differs, or the value of a selected attribute
};

// The rows of a table function between open and close.
struct KelExplainRows {
  std::vector<KelExplainRow> rows;
  size_t next = 0;  // the row the next fetch returns
};

/*
 * Explains path against a document.
 * doc: docLength bytes of text in memory (inMemory 1; KEL_DOC_TERMINATED of kelextract.h for a
 *      terminated text), or a file name with inMemory KEL_DOC_OWN_FILE or KEL_DOC_SERVER_FILE
 *      (read only from an allowed directory), as extractAll takes it.
 * cpFlag 1: the document is in the encoding of the database code page; 0: the parser detects it.
 * path: in the database code page.
 * Rows: the IGNORED findings of the path first, then the document's findings in document order.
 * When the path selects anything the document's findings are its MATCH rows only; otherwise
 * the near misses.  At most KEL_EXPLAIN_MAX_ROWS rows in all.
 * Returns 0 with *rows filled; -1 with sqlstate and msg set as extractAll sets them
 * (KELD002E/"38X09" bad path, KELQ047E/"38X13" parse error, KELC001E/"38X01" and
 * KELC002E/"38X02" files, KELG002E/"38X10" out of memory) and *rows empty.
 */
int kelExplainPath(KelCallContext *ctx, const char *doc, size_t docLength, int cpFlag, int inMemory,
                   const char *path, std::vector<KelExplainRow> *rows, char *sqlstate, char *msg);

#endif /* KEL_EXPLAIN_H */
