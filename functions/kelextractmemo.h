/*
 * kelextractmemo.h - the document memo of the extract functions.  A row whose document is
 * extracted along several paths (the side-table columns a trigger fills, several extract calls
 * in one select list) is parsed once: the first call for a document evaluates, in one pass,
 * every path asked of the previous document together with its own, and the following calls for
 * the same bytes take their items from the memo.
 *
 * The memo is per thread (a connection runs on one thread at a time) and holds one document:
 * a copy of its bytes, the DTD text, the flags, and the items of at most kelMemoMaxPaths paths.
 * A call is answered only when all of these match byte for byte, so a different document, DTD
 * or code page is never answered from an older one; documents whose parse asked for an external
 * entity or DTD, documents over kelMemoMaxDocBytes, failed parses and paths whose items broke
 * their size limit are never answered: their callers extract by themselves and report exactly
 * what the single-path extraction reports.
 */
#ifndef KEL_EXTRACTMEMO_H
#define KEL_EXTRACTMEMO_H

#include <cstddef>
#include <cstdint>

struct KelCallContext;

// The largest document the memo keeps (bytes).
inline constexpr size_t kelMemoMaxDocBytes = 1u << 20;
// The most paths it evaluates together.
inline constexpr size_t kelMemoMaxPaths = 16;

/*
 * The items of path over the in-memory document of docLength bytes, as KelExtractor::runBuffer
 * would give them for the same dtd, cpFlag, tagged and sizeLimit in ctx's database code page.
 * Returns the null-terminated item array, owned by the memo and valid until the thread's next
 * call; null when the caller must extract by itself.  Never fails otherwise.
 */
const char *const *kelMemoItems(KelCallContext *ctx, const char *doc, size_t docLength,
                                const char *dtd, int cpFlag, const char *path, int tagged,
                                int32_t sizeLimit);

// Bytes the thread's memo holds (document, DTD and items), for tests.
size_t kelMemoBytes();

// Empties the thread's memo and releases its parser.
void kelMemoClear();

#endif /* KEL_EXTRACTMEMO_H */
