/*
 * keldadcache.h - parsed DADs kept between calls, so that a procedure called once per document
 * with the same DAD parses, checks and models it once, not on every call.
 *
 * kelDadOpen gives a call its parsed DAD (DOM and header) as a KelDad; kelDadRelation gives it
 * a relation model of its own, copied from the one kept with the DAD.  What is kept depends on
 * the DAD's text alone: the key is the whole text with its kind, the code-page flag of the
 * parse and the database code page.  What depends on the database is never kept: the join
 * types composition reads from the catalogue are read again for every model handed out, so a
 * changed catalogue is always seen (no catalogue generation is needed).
 *
 * A kept DAD is lent to one call at a time: kelDadOpen takes it out of the cache and the
 * KelDad's destructor puts it back, so no two calls (or sessions, or threads) ever read the
 * same DOM at once; a second call with the same DAD meanwhile parses its own.  A DAD is not
 * kept when it was read from a file, when its text declares an entity (what an entity reads
 * may change between calls), or when it fails to read.  The cache holds at most a few DADs
 * (least recently used go first); kelDadCacheConfigure(0) switches it off.  All functions are
 * safe from several threads.
 */
#ifndef KEL_DADCACHE_H
#define KEL_DADCACHE_H

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "keldadread.h"
#include "kelrel.h"

struct KelCallContext;

// DADs the cache keeps unless configured otherwise.
inline constexpr size_t KEL_DAD_CACHE_DEFAULT = 16;

// One parsed DAD in the hands of one call.
class KelDad {
 public:
  KelDad();
  // Puts a cacheable DAD back into the cache; releases any other.
  ~KelDad();
  KelDad(const KelDad &) = delete;
  KelDad &operator=(const KelDad &) = delete;

  bool ok() const;                        // a DAD is held
  xercesc::DOMDocument *document() const;  // null when none is held
  xercesc::DOMElement *root() const;       // the document element
  const KelDadHeader &header() const;      // read by kelReadDadHeader
  bool fromCache() const;                  // this call reused a kept DAD

  struct Entry;

 private:
  friend std::shared_ptr<const void> kelDadDerived(const KelDad *, int);
  friend void kelDadSetDerived(KelDad *, int, std::shared_ptr<const void>);
  friend int kelDadOpen(KelCallContext *, const char *, int, int, int, KelDad *, char *, char *);
  friend int kelDadRelation(KelCallContext *, KelDad *, int, KelOverrideList *, KEL_REL *, char *, char *);
  std::unique_ptr<Entry> entry_;
  bool fromCache_ = false;
};

/*
 * Gives *out the parsed DAD: text is the DAD (terminated, database code page) when inMemory is
 * 1, else the name of a file of the call's own (never kept).  cpFlag as kelDOM's; kind
 * KEL_DAD_XCOLUMN or KEL_DAD_XCOLLECTION.  Returns 0; the failure of kelDOM (KELQ047E ...) or
 * of kelReadDadHeader, with sqlstate and msg, and *out holds nothing.
 */
int kelDadOpen(KelCallContext *ctx, const char *text, int inMemory, int cpFlag, int kind, KelDad *out,
               char *sqlstate, char *msg);

/*
 * Gives *out a relation model of the DAD for mode, owned by the caller: kelSetRelTables and
 * kelProcRel as kept with the DAD (built on first use), with overrides applied when the list
 * is not empty (they are marked used), and in mode 0 the join types read from the catalogue
 * (kelSetJoinTypes).  Returns 0 or the failure of those functions.
 */
int kelDadRelation(KelCallContext *ctx, KelDad *dad, int mode, KelOverrideList *overrides, KEL_REL *out,
                   char *sqlstate, char *msg);

/*
 * What a user of the DAD derives from it once and keeps with it (decomposition keeps its
 * statements and the places of its values), under a slot of its own.  The data must depend on
 * the DAD's text (and the code pages of its key) alone and is read-only once set; it lives as
 * long as the DAD is kept.  kelDadDerived gives null when nothing is set or no DAD is held.
 */
inline constexpr int KEL_DAD_SLOT_DECOMPOSE = 0;
inline constexpr int KEL_DAD_SLOTS = 2;
std::shared_ptr<const void> kelDadDerived(const KelDad *dad, int slot);
void kelDadSetDerived(KelDad *dad, int slot, std::shared_ptr<const void> data);

// Sets how many DADs the cache keeps (0: none, and everything kept is released).
void kelDadCacheConfigure(size_t capacity);
// Releases every kept DAD.
void kelDadCacheClear();

struct KelDadCacheStats {
  uint64_t hits;    // kelDadOpen calls that reused a kept DAD
  uint64_t misses;  // kelDadOpen calls that parsed
  size_t kept;      // DADs in the cache now
};
KelDadCacheStats kelDadCacheStats();

#endif /* KEL_DADCACHE_H */
