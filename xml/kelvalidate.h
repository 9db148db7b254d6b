/*
 * kelvalidate.h - validation of XML documents against a DTD or an XML schema, and the check
 * that decides whether a server-file function may read or write a file.  Every call is
 * self-contained; nothing is shared between threads.
 */
#ifndef KEL_VALIDATE_H
#define KEL_VALIDATE_H

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>

struct KelCallContext;
class KelReportCollector;

/*
 * Where kelValidate's DTD is (its dtdInMemory argument): a server file a user named (read only
 * from an allowed read directory, checked on the opened file), the DTD text itself, or a
 * temporary file of the call (a DTD read from a large object above the memory threshold).
 */
inline constexpr int KEL_DTD_SERVER_FILE = 0;
inline constexpr int KEL_DTD_TEXT = 1;
inline constexpr int KEL_DTD_OWN_FILE = 2;

/*
 * Validates a document (terminated text when inMemory is 1, else a file name: KEL_DOC_OWN_FILE
 * or KEL_DOC_SERVER_FILE) against a DTD.
 * dtd: the DTD text or a DTD file name, as dtdInMemory says (KEL_DTD_TEXT, KEL_DTD_SERVER_FILE,
 * KEL_DTD_OWN_FILE); null lets the parser read the DTD the DOCTYPE names (from an allowed read
 * directory).  The DTD stands for the document's external subset (the request for the DOCTYPE's
 * system id); every other external entity is read as without it, through the one resolver
 * (kelentity.h).  With a DTD, a document without a DOCTYPE, or whose DOCTYPE names no external
 * DTD, is invalid (KELQ047E saying the DTD given is not applied).
 * cpFlag 1 reads the document, dtdEncFlag 1 the DTD, in the database code page's encoding.
 * dtdId names the DTD in the trace.
 * Returns 1 when valid ("00000"); 0 otherwise with sqlstate and msg: KELQ047E/"38X13" for
 * parser and validity errors, KELC001E/"38X01" a missing file, KELG002E/"38X10" no memory.
 */
int kelValidate(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, const char *dtd,
                int dtdEncFlag, const char *dtdId, char *sqlstate, char *msg, int dtdInMemory);

/*
 * Validates a document against the XML schema at schemaLocation (a no-namespace schema
 * location the parser loads itself), with full schema checking.  Returns 1 or 0 as kelValidate.
 */
int kelValidateSchema(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag,
                      const XMLCh *schemaLocation, char *sqlstate, char *msg);

/*
 * A validation engine for the documents of one statement.  It keeps its SAX readers, and when
 * the same DTD (text or file name, with the same encoding flag) comes for a second document it
 * parses that DTD once into a grammar and checks every further document against it, until
 * another DTD comes.  A document with an internal subset is checked against its DTD read anew.
 * Results, messages and SQLSTATEs are those of kelValidate and kelValidateSchema; a DTD file
 * is still opened (and its directory checked) for every document that asks for it, but its
 * content is read once per run of equal DTDs.  One thread at a time; destroy it before the
 * parser library goes away.
 */
class KelValidator {
 public:
  explicit KelValidator(KelCallContext *ctx);
  ~KelValidator();
  KelValidator(const KelValidator &) = delete;
  KelValidator &operator=(const KelValidator &) = delete;

  // kelValidate of a document of docLength bytes in memory (inMemory 1; they need not be
  // terminated), or of a file (docLength unused).
  int validate(const char *doc, size_t docLength, int inMemory, int cpFlag, const char *dtd, int dtdEncFlag,
               const char *dtdId, char *sqlstate, char *msg, int dtdInMemory);
  // kelValidateSchema of a document of docLength bytes in memory, or of a file.
  int validateSchema(const char *doc, size_t docLength, int inMemory, int cpFlag, const XMLCh *schemaLocation,
                     char *sqlstate, char *msg);

  /*
   * The validation report of a document: the arguments as validate's, the same DTD handling,
   * readers and grammar; every error the parse reports becomes a row of *report (read with
   * report->finish(); the caller keeps the collector and its rows).  A validity error does not
   * end the parse; a fatal one (a document that is not well formed, a refused entity, the
   * expansion limit) ends it as the last row; more than KEL_REPORT_MAX_ROWS errors end it with
   * the row saying the report was cut.  Returns 0 with "00000" (a valid document gives no
   * rows); -1 with sqlstate and msg when the document could not be read at all (KELG004E no
   * document, KELC001E/"38X01" a missing file, KELC002E/"38X02" a refused one, KELG002E/"38X10"
   * no memory).
   */
  int report(const char *doc, size_t docLength, int inMemory, int cpFlag, const char *dtd, int dtdEncFlag,
             const char *dtdId, int dtdInMemory, KelReportCollector *report, char *sqlstate, char *msg);
  // The report of a document checked against the schema at schemaLocation, as report().
  int reportSchema(const char *doc, size_t docLength, int inMemory, int cpFlag, const XMLCh *schemaLocation,
                   KelReportCollector *report, char *sqlstate, char *msg);

 private:
  int checkDtd(const char *doc, size_t docLength, int inMemory, int cpFlag, const char *dtd, int dtdEncFlag,
               const char *dtdId, char *sqlstate, char *msg, int dtdInMemory, KelReportCollector *report);
  int checkSchema(const char *doc, size_t docLength, int inMemory, int cpFlag, const XMLCh *schemaLocation,
                  char *sqlstate, char *msg, KelReportCollector *report);
  struct State;
  KelCallContext *ctx_;
  State *state_;
};

/*
 * 0 when the instance's registry allows reading (writeFlag 0) or writing (writeFlag 1)
 * fileName: the setting is "ANY", or the file's real path lies inside one of the listed
 * directories (";"-separated), compared by whole path components after resolving symbolic
 * links and "..".  An unset setting allows nothing.  Denied: -1 with KELC002E/"38X02" (read)
 * or KELC003E/"38X03" (write).
 */
int kelChkRegistry(KelCallContext *ctx, int writeFlag, const char *fileName, char *sqlstate, char *msg);

#endif /* KEL_VALIDATE_H */
