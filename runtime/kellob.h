/*
 * kellob.h - large objects of user-defined functions: moving the value behind a locator into a
 * file or a buffer and back, through the engine's function runtime (sqludf_length,
 * sqludf_substr, sqludf_append, sqludf_create_locator).  Locators are valid only inside the
 * function call that received or created them.  Buffers and names returned belong to the
 * caller; every helper closes what it opened, on success and on failure.
 */
#ifndef KEL_LOB_H
#define KEL_LOB_H

#include <cstdint>

#include "sqludf.h"

struct KelCallContext;

// Bytes moved per function-runtime call.
inline constexpr int32_t KEL_LOB_CHUNK = 4096;

/*
 * Writes the value behind loc into fileName ("wb+").  Returns 0; -1 with *msgNo and sqlstate:
 * KELC004E/"38X04" a locator call failed or gave fewer bytes than asked, KELC000E/"38X00" the
 * file cannot be opened, KELC003E/"38X03" a short write.
 */
int kel_locator2file(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, int *msgNo);

/*
 * Reads length bytes of the value behind loc into buffer (length + 1 bytes) and terminates it;
 * a null locator gives an empty string.  Returns 0; -1 with KELC004E (the runtime's code as
 * text) and "38X04".
 */
int kel_locator2buf(KelCallContext *ctx, udf_locator *loc, char *buffer, int32_t length, char *sqlstate, char *msg);

/*
 * Writes the value behind loc into fileName converted from the database code page to the
 * application code page (form 1: unchanged when both are equal), or with its XML declaration
 * rewritten to name the application encoding (form 2, kelConvBufferQuarnToAppEncoding).
 * The file is written as kel_buf2file writes it (checkDirs: in an allowed write directory).
 * Returns 0, or -1 with "38X04" (locator), "38X10" (memory) or the failure of the conversion
 * or of the file write.
 */
int kel_conv_locator2file(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, char *msg,
                          bool checkDirs);
int kel_conv_locator2file2(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, char *msg,
                           bool checkDirs);

/*
 * Loads fileName into a new character large object (*loc), converted from the application
 * code page to the database code page by byte counts (zero bytes and UTF-16 included; a
 * byte-order mark of a UTF-16 file is dropped at its start only).  checkDirs: the file must lie
 * in an allowed read directory (checked on the opened file).  Returns 0; -1 with *msgNo and
 * sqlstate: KELC001E/"38X01" no file, KELC006E/"38X06" larger than 2000000000 bytes or than
 * the engine's largest value (SQLUDF_MAX_LOB_LENGTH), KELC004E/"38X04" a locator call failed,
 * KELC000E/"38X00" the file cannot be opened, KELC002E/"38X02" not allowed, not a regular file
 * or unreadable, KELQ055E/"38X45" it cannot be converted.
 */
int kel_file2locator(KelCallContext *ctx, const char *fileName, udf_locator **loc, char *sqlstate, int *msgNo,
                     bool checkDirs);

/*
 * Creates a character large object holding length bytes of data (none when data is null) and
 * sets *loc.  Returns 0, or the runtime's code with KELC004E and "38X04".
 */
int kel_buf2locator(KelCallContext *ctx, const char *data, int32_t length, udf_locator **loc, char *sqlstate, char *msg);

/*
 * Reads the value behind loc into memory (*data: a malloc'd terminated buffer, *inMemory 1)
 * when it is not longer than the context's threshold, else into a new temporary file (*data:
 * its malloc'd name, *inMemory 0; the caller removes the file and frees the name).  *length
 * (may be null) is the value's length in bytes: a value may hold zero bytes, so the
 * terminator need not be its end.  Returns 0; -1 with "38X04" (locator), KELG002E/"38X10"
 * (memory or no temporary file), or the failure of the copy.
 */
int kelGetDataFromClob(KelCallContext *ctx, udf_locator *loc, char **data, int *inMemory, char *sqlstate, char *msg,
                       int64_t *length = nullptr);

#endif /* KEL_LOB_H */
