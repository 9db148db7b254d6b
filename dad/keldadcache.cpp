/*
 * keldadcache.cpp - parsed DADs kept between calls (see keldadcache.h).
 */
#include "keldadcache.h"

#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelSgDoc.h"
#include "kelmsg.h"
#include "keltrace.h"

struct KelDad::Entry {
  std::string key;  // kind, code-page flag, database code page and the DAD's text
  size_t hash = 0;
  bool cacheable = false;
  KelDomDocument dom;
  KelDadHeader header;
  // Per mode: the tables and joins, and the whole model without overrides.
  std::optional<KEL_REL> tables[2];
  std::optional<KEL_REL> full[2];
  // What the DAD's users derive from it (kelDadSetDerived).
  std::shared_ptr<const void> derived[KEL_DAD_SLOTS];
};

namespace {

struct Cache {
  std::mutex lock;
  std::list<std::unique_ptr<KelDad::Entry>> entries;  // most recently used first
  size_t capacity = KEL_DAD_CACHE_DEFAULT;
  uint64_t hits = 0, misses = 0;
};

// Destroyed at exit before the parser library ends (the initialiser ends it when unloaded).
Cache &cache() {
  static Cache c;
  return c;
}

std::string keyOf(KelCallContext *ctx, const char *text, int cpFlag, int kind) {
  int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : KEL_CP_UTF8;
  std::string key = std::to_string(kind) + ":" + std::to_string(cpFlag) + ":" + std::to_string(dbCp) + ":";
  key += text;
  return key;
}

}  // namespace

KelDad::KelDad() = default;

KelDad::~KelDad() {
  if (entry_ == nullptr || !entry_->cacheable) return;
  std::unique_ptr<Entry> dropped;  // released outside the lock
  std::list<std::unique_ptr<Entry>> evicted;
  Cache &c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  if (c.capacity == 0) {
    dropped = std::move(entry_);
    return;
  }
  for (const auto &e : c.entries)
    if (e->hash == entry_->hash && e->key == entry_->key) {
      dropped = std::move(entry_);  // another call put the same DAD back first
      return;
    }
  c.entries.push_front(std::move(entry_));
  while (c.entries.size() > c.capacity) {
    evicted.splice(evicted.end(), c.entries, std::prev(c.entries.end()));
  }
}

bool KelDad::ok() const { return entry_ != nullptr && entry_->dom != nullptr; }
xercesc::DOMDocument *KelDad::document() const { return entry_ != nullptr ? entry_->dom.get() : nullptr; }
xercesc::DOMElement *KelDad::root() const {
  return entry_ != nullptr && entry_->dom != nullptr ? entry_->dom->getDocumentElement() : nullptr;
}
const KelDadHeader &KelDad::header() const {
  static const KelDadHeader kNone;
  return entry_ != nullptr ? entry_->header : kNone;
}
bool KelDad::fromCache() const { return fromCache_; }

int kelDadOpen(KelCallContext *ctx, const char *text, int inMemory, int cpFlag, int kind, KelDad *out, char *sqlstate,
               char *msg) {
  out->entry_.reset();
  out->fromCache_ = false;
  Cache &c = cache();
  auto entry = std::make_unique<KelDad::Entry>();
  if (inMemory == 1 && text != nullptr) {
    entry->key = keyOf(ctx, text, cpFlag, kind);
    entry->hash = std::hash<std::string>{}(entry->key);
    // What an entity reads may change between calls: such a DAD is parsed every time.
    entry->cacheable = std::strstr(text, "<!ENTITY") == nullptr;
    std::lock_guard<std::mutex> guard(c.lock);
    entry->cacheable = entry->cacheable && c.capacity > 0;
    if (entry->cacheable) {
      for (auto it = c.entries.begin(); it != c.entries.end(); ++it)
        if ((*it)->hash == entry->hash && (*it)->key == entry->key) {
          out->entry_ = std::move(*it);
          c.entries.erase(it);
          out->fromCache_ = true;
          ++c.hits;
          KEL_TRACE(ctx, "DAD taken from the cache\n");
          kelSetState(sqlstate, "00000");
          return 0;
        }
    }
    ++c.misses;
  }
  xercesc::DOMDocument *doc = nullptr;
  if (kelDOM(ctx, text, cpFlag, inMemory, &doc, sqlstate, msg) < 0) {
    int32_t code = 0;
    kelStateToCode(ctx, &code, sqlstate);
    return code < 0 ? code : kelMessageState(KELQ047E, nullptr);
  }
  entry->dom.reset(doc);
  int rc = kelReadDadHeader(ctx, doc->getDocumentElement(), kind, &entry->header, sqlstate, msg);
  if (rc < 0) return rc;
  out->entry_ = std::move(entry);
  return 0;
}

int kelDadRelation(KelCallContext *ctx, KelDad *dad, int mode, KelOverrideList *overrides, KEL_REL *out,
                   char *sqlstate, char *msg) {
  kelFreeRel(out);
  if (dad == nullptr || !dad->ok()) return kelFail(ctx, msg, sqlstate, KELQ000E, "Xcollection");
  KelDad::Entry &e = *dad->entry_;
  const int m = mode == KEL_MODE_COMPOSE ? 0 : 1;
  int rc = 0;
  if (!e.tables[m]) {
    KEL_REL tables;
    rc = kelSetRelFromHeader(ctx, &tables, e.header, mode, sqlstate, msg);
    if (rc < 0) return rc;
    e.tables[m] = std::move(tables);
  }
  if (overrides != nullptr && !overrides->empty()) {
    *out = *e.tables[m];
    rc = kelProcRel(ctx, out, e.header.rootElement, mode, overrides, sqlstate, msg);
  } else {
    if (!e.full[m]) {
      KEL_REL full = *e.tables[m];
      rc = kelProcRel(ctx, &full, e.header.rootElement, mode, nullptr, sqlstate, msg);
      if (rc < 0) return rc;
      e.full[m] = std::move(full);
    }
    *out = *e.full[m];
  }
  if (rc >= 0 && mode == KEL_MODE_COMPOSE) rc = kelSetJoinTypes(ctx, out, sqlstate, msg);
  if (rc < 0) kelFreeRel(out);
  return rc;
}

std::shared_ptr<const void> kelDadDerived(const KelDad *dad, int slot) {
  if (dad == nullptr || dad->entry_ == nullptr || slot < 0 || slot >= KEL_DAD_SLOTS) return nullptr;
  return dad->entry_->derived[slot];
}

void kelDadSetDerived(KelDad *dad, int slot, std::shared_ptr<const void> data) {
  if (dad == nullptr || dad->entry_ == nullptr || slot < 0 || slot >= KEL_DAD_SLOTS) return;
  dad->entry_->derived[slot] = std::move(data);
}

void kelDadCacheConfigure(size_t capacity) {
  std::list<std::unique_ptr<KelDad::Entry>> evicted;
  Cache &c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  c.capacity = capacity;
  while (c.entries.size() > c.capacity) evicted.splice(evicted.end(), c.entries, std::prev(c.entries.end()));
}

void kelDadCacheClear() {
  std::list<std::unique_ptr<KelDad::Entry>> evicted;
  Cache &c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  evicted.swap(c.entries);
  c.hits = c.misses = 0;
}

KelDadCacheStats kelDadCacheStats() {
  Cache &c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  return KelDadCacheStats{c.hits, c.misses, c.entries.size()};
}
