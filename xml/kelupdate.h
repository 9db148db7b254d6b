/*
 * kelupdate.h - the update engine: one SAX pass over a document (in memory or in a file) that
 * writes the document out again with every element or attribute a location path selects given
 * a new value.  The prolog (XML declaration, document type with its internal subset, comments,
 * processing instructions) is written back; CDATA boundaries and entity references are not
 * (their text arrives expanded and is written escaped), nor attributes given by default.  Used
 * by the update functions.
 *
 * Every call is self-contained and runs on the caller's thread; results belong to the caller.
 * A KelUpdater belongs to one thread at a time.
 */
#ifndef KEL_UPDATE_H
#define KEL_UPDATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <xercesc/util/XercesDefs.hpp>

struct KelCallContext;

/*
 * An update engine that keeps its SAX reader, the last compiled path and its output storage
 * between runs, so the rows of one statement do not pay for them per document.  Results are
 * those of a fresh engine.  Destroy it before the parser library goes away.
 *
 * What every run reports: 0 with *out holding the updated document in the database code page
 * (its bytes without a terminator); -1 with sqlstate and msg set and *out emptied:
 *   KELD002E/"38X09"  the path or the value cannot be converted to UTF-16, or the path does not
 *                     compile (the converter's result or the error position);
 *   KELQ047E/"38X13"  the document is not well-formed, or any parser warning;
 *   "38X13" alone     the parser failed without an exception of its own;
 *   KELC013E/"38X39"  the result and a terminator take more than sizeLimit bytes;
 *   KELC001E/"38X01", KELC002E/"38X02", KELC000E/"38X00"  a file document cannot be read
 *                     (a server file only from an allowed read directory);
 *   KELG008E/"38X38"  the database code page has no encoding name (cpFlag 1, or a declaration
 *                     to rewrite);
 *   KELG002E/"38X10"  memory or a temporary file is short.
 */
class KelUpdater {
 public:
  explicit KelUpdater(KelCallContext *ctx);
  ~KelUpdater();
  KelUpdater(const KelUpdater &) = delete;
  KelUpdater &operator=(const KelUpdater &) = delete;

  /*
   * Updates one document.
   * doc: docLength bytes of text when inMemory is 1 (they need not be terminated); otherwise a
   *      file name, KEL_DOC_OWN_FILE (a temporary file of the call) or KEL_DOC_SERVER_FILE (a
   *      user's file, read only from an allowed directory, checked on the opened file).
   * cpFlag 1: the document is in the encoding of the database code page; 0: the parser reads
   *      the encoding the document declares (or detects).
   * path16, value16: the location path and the new value, terminated UTF-16.
   * rewriteDeclaration: the output's XML declaration names the database code page's encoding
   *      (the bytes written are in it), and a document without a declaration gets one unless
   *      that encoding is UTF-8; false writes the declaration as the document has it.
   */
  int update(const char *doc, size_t docLength, int inMemory, int cpFlag, const XMLCh *path16,
             const XMLCh *value16, bool rewriteDeclaration, std::string *out, int32_t sizeLimit,
             char *sqlstate, char *msg);

  /*
   * The same with path and value in the database code page, every byte of each (they need not
   * be terminated; a null data() is KELG004E).  A zero byte among them is refused: in the value
   * KELD000E/"38X14", as a character the document cannot hold; in the path KELD002E/"38X09"
   * at the zero byte's position.
   */
  int updateText(const char *doc, size_t docLength, int inMemory, int cpFlag, std::string_view path,
                 std::string_view value, bool rewriteDeclaration, std::string *out, int32_t sizeLimit,
                 char *sqlstate, char *msg);

  /*
   * The update of a document held as text in the database code page (docLength bytes):
   * a text longer than the context's memory threshold is written into a temporary file and
   * parsed from there (the file is removed before the call returns).  Otherwise as updateText
   * with cpFlag 1.
   */
  int updateBuffer(const char *doc, size_t docLength, std::string_view path, std::string_view value,
                   std::string *out, int32_t sizeLimit, char *sqlstate, char *msg);

 private:
  struct State;
  KelCallContext *ctx_;
  State *state_;
};

/*
 * The update of one document with a fresh engine.  doc: a terminated string (inMemory 1) or a
 * file name (KEL_DOC_OWN_FILE, KEL_DOC_SERVER_FILE); cpFlag as KelUpdater::update.  path and
 * value are UTF-16.  Returns 0 with *result a malloc'd terminated string in the database code
 * page (the caller frees it); -1 with *result null and the failures of KelUpdater.
 */
int kelUpdate(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, const XMLCh *path,
              const XMLCh *value, char **result, int32_t sizeLimit, char *sqlstate, char *msg);

/*
 * kelUpdate of a terminated document text with path and value in the database code page,
 * through KelUpdater::updateBuffer.
 */
int kelUpdateFromBuf(KelCallContext *ctx, const char *doc, const char *path, const char *value,
                     char **result, int32_t sizeLimit, char *sqlstate, char *msg);

#endif /* KEL_UPDATE_H */
