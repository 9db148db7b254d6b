/*
 * kelvalidate.h - validation of XML documents against a DTD or an XML schema, and the check
 * that decides whether a server-file function may read or write a file.  Every call is
 * self-contained; nothing is shared between threads.
 */
#ifndef KEL_VALIDATE_H
#define KEL_VALIDATE_H

#include <xercesc/util/XercesDefs.hpp>

struct KelCallContext;

/*
 * Validates a document (terminated text when inMemory is 1, else a file name) against a DTD.
 * dtd: the DTD text when dtdInMemory is 1, else a DTD file name; null lets the parser read the
 * DTD the DOCTYPE names.  Every external entity the parser asks for is answered with that DTD.
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
 * 0 when the instance's registry allows reading (writeFlag 0) or writing (writeFlag 1)
 * fileName: the setting is "ANY", or the file's real path lies inside one of the listed
 * directories (";"-separated), compared by whole path components after resolving symbolic
 * links and "..".  An unset setting allows nothing.  Denied: -1 with KELC002E/"38X02" (read)
 * or KELC003E/"38X03" (write).
 */
int kelChkRegistry(KelCallContext *ctx, int writeFlag, const char *fileName, char *sqlstate, char *msg);

#endif /* KEL_VALIDATE_H */
