/*
 * kelcodepage.h - the code-page record of a call (the application and database code pages and
 * their ICU converters) and the helpers that move text between the application code page, the
 * database code page and UTF-16, upper-case identifiers and name the encoding of a document.
 *
 * The record is created zeroed by kelInit, filled by initICU and released by kelTerm; it belongs
 * to one call context, and so do its converters, which are never shared between threads.
 * Buffers are the caller's.  ICU's process-wide default converter name is read and briefly
 * changed only under one process-wide lock of this unit, so every helper here is safe to call
 * from several calls at once.
 */
#ifndef KEL_CODEPAGE_H
#define KEL_CODEPAGE_H

#include <unicode/utypes.h>

#include <cstddef>
#include <cstdint>

struct UConverter;
struct KelCallContext;
struct KelCodePageRequest;
struct sqlca;

struct KelCodePages {
  int32_t appCodePage;       // CCSID of the application's data
  int32_t dbCodePage;        // CCSID of the database's data
  int32_t reserved;          // not used
  UConverter *appConverter;  // converter of the application code page
  UConverter *dbConverter;   // converter of the database code page; may be appConverter
};

// Code pages with a meaning of their own.
inline constexpr int32_t KEL_CP_UTF16 = 1200;
inline constexpr int32_t KEL_CP_UTF8 = 1208;
inline constexpr int32_t KEL_CP_EUCJP_OLD = 954;  // always recorded as KEL_CP_EUCJP
inline constexpr int32_t KEL_CP_EUCJP = 33722;

// Modes of initICU.
inline constexpr int KEL_CP_FUNCTION_MODE = 0;   // user-defined function: locale and DBINFO
inline constexpr int KEL_CP_PROCEDURE_MODE = 1;  // stored procedure: the connection's tokens

// Working copy of kelUpperCase, in UTF-16 units.
inline constexpr int32_t KEL_UPPER_WORK_CHARS = 4096;

// Bytes at the start of a document that kelDeclaresOtherEncoding reads for its declaration.
inline constexpr int32_t KEL_DECLARATION_BYTES = 1024;

// Error code that the buffer converters leave when the destination is too small.
inline constexpr int32_t KEL_CONV_TOO_SMALL = -124;

/*
 * Fills ctx->codePages (which kelInit has allocated zeroed) for the call.
 *
 * Function mode (mode 0): the application converter is opened by localeName (a converter name
 * such as "ISO-8859-1", or a POSIX locale "ll_CC.codeset" whose code set is used), else by ICU's
 * default converter name; the application code page is its CCSID.  A locale "C" or "POSIX", or
 * a default converter of plain ASCII, gives UTF-8 instead.  The database code page is
 * request->dbCodePage (taken by the caller from DBINFO); when the request is null or gives 0
 * the database code page is the application code page.
 * Procedure mode (mode 1): request->connectionInfo fills a communication area as CONNECT
 * without arguments answers it; its second token is the database code page and its ninth the
 * application code page (the database code page when missing), and both code pages are set to
 * that one value.
 * In both modes 954 is recorded as 33722, and equal code pages share one converter.
 * Returns 0; an ICU error code (> 0) when a converter cannot be opened; -1 when there is no
 * record, no default converter name, or no connection information.  Nothing is formatted:
 * kelInit turns a failure into KELG008E, "38X38" and -119.  On failure the converters opened
 * so far stay in the record and are closed by kelTerm.
 */
int initICU(KelCallContext *ctx, int mode, const KelCodePageRequest *request,
            const char *localeName);

/*
 * The integer value of token tokenNumber (counted from 1) of ca->sqlerrmc, whose tokens are
 * separated by the byte 0xFF.  Returns -1, with a trace line, when the token is missing, empty
 * or not a number.
 */
int get_sqlerrmc_token(KelCallContext *ctx, const struct sqlca *ca, int tokenNumber);

/*
 * Opens the converter of codePage: a fixed ICU table for 942, 943, 949 and 1363, ICU's
 * converter for the CCSID otherwise.  Returns the converter (the caller closes it with
 * ucnv_close) or null with *err set to ICU's error.
 */
UConverter *kelOpenConverter(int32_t codePage, UErrorCode *err);

/*
 * Writes the encoding name of codePage, as it appears in an XML declaration, into name as a
 * terminated UTF-16 string of at most nameCapacity units (cut when longer).  Names of the
 * built-in table first; otherwise ICU's MIME name of the code page, else its IANA name, else
 * "ibm-<code page>".  Returns 0; -119 with "38X38" and KELG008E when the code page is not in
 * the table and the call has no database converter.
 */
int KEL_getEncoding(KelCallContext *ctx, int32_t codePage, UChar *name, int32_t nameCapacity,
                    char *sqlstate, char *msg);

/*
 * Converts srcLen bytes from the application code page into dest (capacity destCap bytes),
 * which may be the same buffer as src.  With application code page 1200 a leading byte-order
 * mark is dropped and its byte order is the one read.  Equal code pages copy the bytes (no
 * terminator is added) when they fit and are all valid in the code page; otherwise the bytes
 * are converted (bytes invalid in the application code page become substitution characters)
 * and the result is terminated.
 * Returns the converted length in bytes, or -1 with KELQ055E and "38X45": *errCode is
 * KEL_CONV_TOO_SMALL (-124) when the result (and, after a conversion, its terminator) does not
 * fit, the ICU error code otherwise.  errCode may be null.
 */
int32_t convertBufferAppToQuarn(KelCallContext *ctx, const char *src, int32_t srcLen, char *dest,
                                int32_t destCap, char *msg, char *sqlstate, int32_t *errCode);

/*
 * The reverse of convertBufferAppToQuarn (no byte-order-mark handling).  Returns the converted
 * length, 0 for an empty source, or -1 with KELQ055E and "38X45" (also when the result does not
 * fit).
 */
int32_t convertBufferQuarnToApp(KelCallContext *ctx, const char *src, int32_t srcLen, char *dest,
                                int32_t destCap, char *msg, char *sqlstate);

/*
 * Converts the terminated database-code-page string str to UTF-16 in out (capacity in units)
 * with the database converter.  Returns the number of units (out is terminated when there is
 * room), or -1 with a trace line when there is no converter or out is too small.  Bytes that
 * are not valid in the database code page do not fail the conversion: the converter puts its
 * substitution character in their place (U+FFFD for UTF-8, U+001A for most others).
 */
int32_t KEL_mbstowcsFunction(KelCallContext *ctx, UChar *out, const char *str, int32_t capacity);

// The same with ICU's default converter (UTF-8 when the default is plain ASCII), opened and
// closed for the call.
int32_t KEL_mbstowcsSys(KelCallContext *ctx, UChar *out, const char *str, int32_t capacity);

/*
 * Converts the terminated UTF-16 string wstr into the database code page in out (capacity in
 * bytes) and terminates it.  Returns the length in bytes, or -1 with a trace line when there is
 * no converter, the input is invalid or the result and its terminator do not fit.
 */
int32_t KEL_wcstombsFunction(KelCallContext *ctx, char *out, const UChar *wstr, int32_t capacity);

/*
 * Upper-cases the terminated UTF-16 string str (full-width forms U+FF01..U+FF5E unchanged) and
 * converts it into the database code page in out (capacity in bytes, terminated).  Returns the
 * length in bytes or -1 as KEL_wcstombsFunction.
 */
int32_t kel_utoupper(KelCallContext *ctx, const UChar *str, char *out, int32_t capacity);

/*
 * Upper-cases the terminated database-code-page string str into out (capacity in bytes,
 * terminated; out may be str).  The text passes through a UTF-16 working copy of at most
 * KEL_UPPER_WORK_CHARS units; a longer text is refused.  Returns the length in bytes or -1.
 */
int32_t kelUpperCase(KelCallContext *ctx, const char *str, char *out, int32_t capacity);

// The upper case of one character; full-width forms U+FF01..U+FF5E are returned unchanged.
UChar32 kelToUpper(UChar32 c);

/*
 * Converts the XML document doc (length bytes in the database code page) into the application
 * code page in out (capacity outCap bytes) and rewrites its XML declaration to name that
 * encoding: `<?xml version="v" encoding="NAME"` then the rest of the declaration without any
 * encoding it had.  A document that does not begin with "<?xml" and white space has no
 * declaration and is given `<?xml version="1.0" encoding="NAME"?>`.  NAME is the converter's
 * MIME name, else its IANA name.  With application code page 1200 the output begins with a
 * byte-order mark.
 * Returns the output length in bytes; -1 with KELG008E (the converter's name) and "38X38" when
 * the application converter writes "<?xml" in a form no XML parser detects (neither
 * ASCII-compatible, UTF-16, UTF-32 nor EBCDIC); -1 with KELD000E and "38X14" for an empty
 * document or a malformed declaration; -1 with KELQ055E and "38X45" when a conversion fails,
 * a character has no exact form in the application code page, or the output does not fit.
 */
int32_t kelConvBufferQuarnToAppEncoding(KelCallContext *ctx, const char *doc, int32_t length,
                                        char *out, int32_t outCap, char *msg, char *sqlstate);

/*
 * True when the XML declaration among the first KEL_DECLARATION_BYTES of doc (length bytes in
 * the database code page) names an encoding other than the application code page's: the
 * bytes a writer without an encoding argument puts into a file would then contradict it, and
 * the writer rewrites the declaration (kelConvBufferQuarnToAppEncoding).  False without a
 * declaration, without an encoding in it, or when it names the application encoding by any of
 * its names.  Formats nothing.
 */
bool kelDeclaresOtherEncoding(KelCallContext *ctx, const char *doc, int32_t length);

/*
 * The encoding the first n bytes of a file (head, as read) say the file is in, when it is not
 * the application code page: a byte-order mark names UTF-32LE (FF FE 00 00), UTF-32BE
 * (00 00 FE FF), UTF-8, UTF-16LE or UTF-16BE; without one, an XML declaration in ASCII bytes
 * names an encoding other than the application's (as kelDeclaresOtherEncoding tells it) and
 * that name is given as written.  Writes the name into name (capacity nameCap bytes, cut when
 * longer, terminated) and returns its length; returns 0 with name empty when the file names
 * no other encoding (a mark of the application's own encoding, no mark and no such
 * declaration).  Formats nothing.
 */
int32_t kelEncodingOfFile(KelCallContext *ctx, const char *head, int32_t n, char *name, int32_t nameCap);

/*
 * Converts the n bytes of an XML document file, read unchanged (bytes), from the encoding its
 * byte-order mark or declaration names (as kelEncodingOfFile names it, against UTF-8; the name
 * opened as initICU opens a locale name) into UTF-8, the database's code page whatever the
 * process's locale, in out (capacity outCap bytes), and rewrites its declaration to name UTF-8
 * as kelConvBufferQuarnToAppEncoding names the application's (a document without a
 * declaration is given one; a mark is dropped).  Returns the output length in bytes
 * (terminated when room is left); 0, with out untouched, when the file names no encoding other
 * than UTF-8: the bytes are then the caller's to use as read.  -1 with KELG008E (the encoding's name) and "38X38" when no
 * converter reads the encoding named; -1 with KELD000E and "38X14" for a malformed
 * declaration; -1 with KELQ055E and "38X45" when a conversion fails or the output does not
 * fit; -1 with an internal error when the call has no code pages.
 */
int32_t kelConvFileBufferToQuarn(KelCallContext *ctx, const char *bytes, int32_t n, char *out,
                                 int32_t outCap, char *msg, char *sqlstate);

// True for the multi-byte code pages 954, 964, 2600 and 33722.
bool kelIsSpecialMbcsCodePage(int32_t codePage);

// True for UTF-8 (1208).
bool kelIsUtf8CodePage(int32_t codePage);

/*
 * Bytes enough for the application code page's form of n bytes of database text, its XML
 * declaration rewritten to name the encoding (kelConvBufferQuarnToAppEncoding) or not: each
 * character may take the converter's longest form (four bytes in UTF-32, two in UTF-16 for an
 * ASCII byte), and a byte-order mark and the encoding's name come on top.
 */
size_t kelAppRoomFor(const KelCallContext *ctx, size_t n);

// The characters of n bytes of UTF-8 text: the bytes that are not continuation bytes.
size_t kelUtf8Chars(const char *text, size_t n);

/*
 * Writes the n UTF-16 units of src as n bytes to out and returns true when every unit is ASCII
 * (below 0x80: the bytes are then the text's UTF-8 form); returns false otherwise, and the n
 * bytes of out are then unspecified.  out must hold n bytes; it may not overlap src.
 */
bool kelNarrowAscii(const UChar *src, size_t n, char *out);

#endif /* KEL_CODEPAGE_H */
