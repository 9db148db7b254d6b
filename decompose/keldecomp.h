/*
 * keldecomp.h - the decomposition driver: one XML document stored into the tables of an
 * RDB_node collection, by a DAD given with the call (kelDecomposeByDAD) or by the name of an
 * enabled collection (kelDecomposeByName).  The shred and insert procedures call these.
 *
 * A call reads the DAD (through the parsed-DAD cache), validates the document when the DAD asks
 * for it, models the collection, parses the document, checks the tables when they are not
 * known to belong to an enabled collection, cuts the document into rows (kelrdbi.h) and inserts
 * them on a call-level-interface connection attached to the session the procedure runs in.
 * It neither commits nor rolls back: the procedures make the call all or nothing with their
 * call savepoint.  Buffers stay the caller's.  Every call is self-contained and reentrant.
 */
#ifndef KEL_DECOMP_H
#define KEL_DECOMP_H

#include <cstdint>

struct KelCallContext;
struct KelDocBuffer;
class KelCliConnection;

// Return code of a document that fails the validation the DAD asks for.
inline constexpr int32_t KEL_DOC_INVALID = -90;

/*
 * Closes the call's connection as KelCliConnection::close does: 0, or a negative code with its
 * message in msg.  kelDecomposeByDAD uses KelCliConnection::close unless given another (tests
 * give one that fails, to see which failure the caller is told).
 */
using KelCliCloser = int (*)(KelCliConnection &cli, KelCallContext *ctx, const char *unit, char *sqlstate,
                             char *msg);

/*
 * Decomposes the document in doc by the DAD in dad.  dadCpFlag and the code pages of the
 * context are passed to the parses as kelDOM takes them; notEnabled 1 checks every table
 * against the catalogue first (check_table).  Writes the message into msg (a message buffer of
 * the context's mode) and returns the return code: 0; the DAD's failures (KELQ047E, KELQ057E,
 * KELQ040E ...); -5 with KELA010E for a DTD id DTD_REF does not hold; -90 with the validator's
 * message for an invalid document; the parse failure of the document; the failures of the
 * model, the table check and row generation (kelrdbi.h); KELG006E for the connection.  A
 * failure to close the connection (close, null: KelCliConnection::close) is reported only when
 * nothing failed before it: the first failure's code and message are the call's.
 */
int32_t kelDecomposeByDAD(KelCallContext *ctx, KelDocBuffer *dad, int dadCpFlag, KelDocBuffer *doc, int notEnabled,
                          char *msg, KelCliCloser close = nullptr);

/*
 * Decomposes the document into the enabled collection name: its DAD is read from XML_USAGE
 * (kelGetCollectionDad: KELQ028E, -88 for no such collection; KELQ029E, -89 for a NULL DAD),
 * then kelDecomposeByDAD with notEnabled 0.
 */
int32_t kelDecomposeByName(KelCallContext *ctx, const char *name, KelDocBuffer *doc, char *msg);

#endif /* KEL_DECOMP_H */
