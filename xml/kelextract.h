/*
 * kelextract.h - the extraction engine: one SAX pass over a document (in memory or in a file)
 * that collects the text content, the attribute values or the tagged markup of what a location
 * path selects, as strings in the database code page.  Every call is self-contained and runs on
 * the caller's thread; the result record belongs to the caller.
 */
#ifndef KEL_EXTRACT_H
#define KEL_EXTRACT_H

#include <cstddef>
#include <cstdint>

struct KelCallContext;

// The values of one extraction.
struct KelExtractResult {
  char **items;       // null-terminated array of strings, one malloc'd block with them; free
                      // it with kelFreeExtractResult only
  char **cursor;      // the next item a table function returns
  char sqlstate[6];   // "00000", or the failure's SQLSTATE
  char *msg;          // the caller's message buffer (1025 bytes)
};

// Frees the items and the array, and empties the record.
void kelFreeExtractResult(KelExtractResult *result);

/*
 * Extracts every value the path selects.
 * doc: the document text (terminated, database code page) when inMemory is 1, else a file name:
 *      KEL_DOC_OWN_FILE (a temporary file of the call) or KEL_DOC_SERVER_FILE (a user's file,
 *      read only from an allowed directory; KELC002E/"38X02" otherwise).  External entities
 *      are read as the entity resolver allows (kelentity.h).
 * dtd: text that replaces the external DTD the document's DOCTYPE names, or null (then that
 *      DTD reads as empty).
 * cpFlag 1: the document is in the encoding of the database code page; 0: the parser detects it.
 * tagged 1: the selected elements are returned with their markup.
 * path: the location path in the database code page.
 * sizeLimit: bytes an item may take in the database code page, terminator included.
 * Returns 0 with result->items set (possibly empty); -1 with sqlstate and msg set:
 * KELC001E/"38X01" file not found, KELD002E/"38X09" bad path, KELQ047E/"38X13" document not
 * well-formed or any parser warning, "38X13" alone for other parser failures,
 * KELC013E/"38X39" an item over sizeLimit, KELG002E/"38X10" out of memory.
 */
int extractAll(KelCallContext *ctx, const char *doc, const char *dtd, int cpFlag, int inMemory,
               int tagged, const char *path, KelExtractResult *result, int32_t sizeLimit,
               char *sqlstate, char *msg);

/*
 * An extraction engine that keeps its SAX readers, their memory (an arena, given back after a
 * document that needed more than 32 MB), the last compiled path and its handler between runs,
 * so the calls of one statement do not pay for them per row.  run() behaves exactly as
 * extractAll.  One thread at a time; destroy it before the parser library goes away.
 */
class KelExtractor {
 public:
  explicit KelExtractor(KelCallContext *ctx);
  ~KelExtractor();
  KelExtractor(const KelExtractor &) = delete;
  KelExtractor &operator=(const KelExtractor &) = delete;
  int run(const char *doc, const char *dtd, int cpFlag, int inMemory, int tagged, const char *path,
          KelExtractResult *result, int32_t sizeLimit, char *sqlstate, char *msg);
  // The same for a document of docLength bytes in memory (it need not be terminated).
  int runBuffer(const char *doc, size_t docLength, const char *dtd, int cpFlag, int tagged,
                const char *path, KelExtractResult *result, int32_t sizeLimit, char *sqlstate,
                char *msg);
  // Bytes the readers' arena holds from the C library between runs (0 when it was given back).
  size_t arenaBytes() const;

 private:
  struct State;
  int parse(const char *doc, size_t docLength, const char *dtd, int cpFlag, int inMemory,
            int tagged, const char *path, KelExtractResult *result, int32_t sizeLimit,
            char *sqlstate, char *msg);
  KelCallContext *ctx_;
  State *state_;
};

/*
 * Extracts the one value the path selects into *value (malloc'd; the caller frees it).
 * Returns 0 with a non-empty value; -1 with *value null and: KELD003W/"01HX0" when nothing is
 * selected, KELD001E/"38X08" when several values are, "00000" when the one value is empty
 * (the caller returns NULL without a warning), or any failure of extractAll.
 */
int extractOne(KelCallContext *ctx, const char *doc, const char *dtd, int cpFlag, int inMemory,
               int tagged, const char *path, char **value, int32_t sizeLimit, char *sqlstate,
               char *msg);

// A document length meaning: the in-memory document is terminated.
inline constexpr size_t KEL_DOC_TERMINATED = static_cast<size_t>(-1);

/*
 * extractOne with the reader and compiled path of extractor (null: a fresh one), for the
 * rows of one statement.  docLength: the bytes of an in-memory document (which may then hold
 * zero bytes, a parse error), or KEL_DOC_TERMINATED.
 */
int extractOne(KelExtractor *extractor, KelCallContext *ctx, const char *doc, const char *dtd,
               int cpFlag, int inMemory, int tagged, const char *path, char **value,
               int32_t sizeLimit, char *sqlstate, char *msg, size_t docLength = KEL_DOC_TERMINATED);

/*
 * The one value of an extraction's items (null-terminated array), as extractOne gives it:
 * returns 0 with *value malloc'd (the caller frees it); -1 with *value null and KELD003W/"01HX0"
 * for no item, KELD001E/"38X08" (naming path) for several, "00000" for one empty item,
 * KELG002E/"38X10" out of memory.
 */
int kelSingleValue(KelCallContext *ctx, const char *const *items, const char *path, char **value,
                   char *sqlstate, char *msg);

// One location path of a multi-path extraction.
struct KelPathRequest {
  const char *path;   // the location path in the database code page
  int tagged;         // 1: the selected elements with their markup
  int32_t sizeLimit;  // bytes an item may take in the database code page, terminator included
};

/*
 * Several location paths evaluated over one in-memory document in one SAX pass, keeping its
 * reader, arena and compiled paths between runs as KelExtractor does.  For a document that
 * reads without failure, results[i] holds exactly the items KelExtractor::runBuffer gives for
 * requests[i] alone, in the same order; a path that does not compile ("38X09") or an item over
 * its sizeLimit ("38X39") leaves results[i] without items and with that sqlstate (and no
 * message), the other paths unaffected.  Free each result with kelFreeExtractResult.
 * run() returns 0 when the document was read; *selfContained is then true when the parse asked
 * for no external entity or DTD, so the results depend on the bytes, the DTD text, cpFlag and
 * the database code page alone.  It returns -1 with sqlstate and msg set (and no items) for a
 * document the parse refuses or any other failure: the single-path run gives such a
 * document's exact outcome.
 * One thread at a time; destroy it before the parser library goes away.
 */
class KelMultiExtractor {
 public:
  explicit KelMultiExtractor(KelCallContext *ctx);
  ~KelMultiExtractor();
  KelMultiExtractor(const KelMultiExtractor &) = delete;
  KelMultiExtractor &operator=(const KelMultiExtractor &) = delete;
  int run(const char *doc, size_t docLength, const char *dtd, int cpFlag,
          const KelPathRequest *requests, size_t nRequests, KelExtractResult *results,
          bool *selfContained, char *sqlstate, char *msg);

 private:
  struct State;
  KelCallContext *ctx_;
  State *state_;
};

#endif /* KEL_EXTRACT_H */
