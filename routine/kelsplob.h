/*
 * kelsplob.h - large objects of stored procedures: the value behind a locator of the caller's
 * session read through the embedded-SQL runtime (its length, a substring, the whole value into
 * a file or a document buffer, or as escaped XML text).  Statements run on the thread's current
 * connection, which inside a procedure is the caller's session.  Every failed statement gives
 * KELG001E (unit kelsuwo) after the database's text, and -57.
 */
#ifndef KEL_SPLOB_H
#define KEL_SPLOB_H

#include <cstdint>

#include "sqlsystm.h"

struct KelCallContext;
struct KelDocBuffer;

// Bytes read per statement by kelLocatorToXmlText.
inline constexpr int32_t KEL_SP_LOB_CHUNK = 131072;

// *length = the value's length in bytes.  Returns 0; -57 (*rc, msg) on failure, length 0.
int kelGetLocatorLength(KelCallContext *ctx, const sqluint32 *locator, int32_t *length, int32_t *rc, char *msg);

/*
 * Copies length bytes from 1-based position start into buffer (length + 1 bytes) and
 * terminates it.  Returns 0; -57 with KELG001E, or -58 with KELG002E when memory is short.
 */
int kelLocatorToBuf(KelCallContext *ctx, sqluint32 locator, int32_t length, char *buffer, int32_t *rc, char *msg,
                    int32_t start);

// Writes the whole value into fileName (overwritten).  Returns 0, or -57 with KELG001E.
int kelLocatorToFile(KelCallContext *ctx, sqluint32 locator, const char *fileName, int32_t *rc, char *msg);

/*
 * Reads the value into a new document buffer (memory up to the context's threshold, else a
 * temporary file); the buffer records the value's length.  Returns 0 or the failure's code;
 * the caller releases the buffer (kelBufRelease) in every case.
 */
int kelGetDataFromLocator(KelCallContext *ctx, sqluint32 locator, KelDocBuffer *buf, char *msg);

// kelGetDataFromLocator for a DAD: 0 or -1.
int kelGetDadFileFromLocator(KelCallContext *ctx, sqluint32 locator, KelDocBuffer *buf, char *msg);

/*
 * Appends the value to buf as markup that reads back as the same text, for an attribute value
 * (attribute set) or for text (kelAppendMarkupEscapedBytesTo: UTF-8 in a UTF-8 database),
 * reading it in chunks of KEL_SP_LOB_CHUNK bytes; a character split between two chunks is held
 * back and escaped whole.  Returns 0; -57 (*rc, msg) when a chunk cannot be read, -58 when the
 * buffer cannot grow, -54 with KELD000E when the value holds a character that a document of the
 * XML version (xml11) cannot hold (kelXmlCannotHoldBytes).
 */
int kelLocatorToXmlText(KelCallContext *ctx, const sqluint32 *locator, KelDocBuffer *buf, bool attribute, bool xml11,
                        int32_t *rc, char *msg);

#endif /* KEL_SPLOB_H */
