/*
 * kelextractmemo.cpp - the per-thread document memo of the extract functions (see the header):
 * its key, the paths it learns from the calls for one document, and the one-pass parse of a
 * new document over all of them through its own KelMultiExtractor and call context.
 */
#include "kelextractmemo.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelextract.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

class Memo {
 public:
  ~Memo() { release(); }

  const char *const *items(KelCallContext *ctx, const char *doc, size_t docLength, const char *dtd,
                           int cpFlag, const char *path, int tagged, int32_t sizeLimit) {
    const int32_t dbCp =
        ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
    if (doc == nullptr || path == nullptr || docLength > kelMemoMaxDocBytes) return nullptr;
    if (sameKey(doc, docLength, dtd, cpFlag, dbCp)) {
      Entry *e = find(path, tagged, sizeLimit);
      if (e == nullptr) {
        add(path, tagged, sizeLimit);  // evaluated with the next document
        return nullptr;
      }
      e->wanted = true;
      return e->answered ? e->result.items : nullptr;
    }
    return readNew(ctx, doc, docLength, dtd, cpFlag, dbCp, path, tagged, sizeLimit);
  }

  size_t bytes() const {
    size_t n = heapBytes(doc_) + heapBytes(dtd_);
    for (const Entry &e : entries_) {
      n += heapBytes(e.path);
      if (e.result.items == nullptr) continue;
      char **p = e.result.items;
      while (*p != nullptr) n += std::strlen(*p++) + 1 + sizeof(char *);
    }
    return n;
  }

  void release() {
    forget();
    entries_.clear();
    std::string().swap(doc_);
    std::string().swap(dtd_);
    extractor_.reset();
    if (ctx_ != nullptr) {
      char state[6];
      kelTerm(ctx_, state);
      std::free(ctx_);
      ctx_ = nullptr;
    }
  }

 private:
  struct Entry {
    std::string path;
    int tagged = 0;
    int32_t sizeLimit = 0;
    bool wanted = false;    // asked for the document in the memo
    bool answered = false;  // result holds its items
    KelExtractResult result{};
    Entry() = default;
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    Entry(Entry &&o) noexcept
        : path(std::move(o.path)),
          tagged(o.tagged),
          sizeLimit(o.sizeLimit),
          wanted(o.wanted),
          answered(o.answered),
          result(o.result) {
      o.result.items = nullptr;
      o.result.cursor = nullptr;
    }
    Entry &operator=(Entry &&o) noexcept {
      if (this != &o) {
        kelFreeExtractResult(&result);
        path = std::move(o.path);
        tagged = o.tagged;
        sizeLimit = o.sizeLimit;
        wanted = o.wanted;
        answered = o.answered;
        result = o.result;
        o.result.items = nullptr;
        o.result.cursor = nullptr;
      }
      return *this;
    }
    ~Entry() { kelFreeExtractResult(&result); }
  };

  static size_t heapBytes(const std::string &s) {
    return s.capacity() > std::string().capacity() ? s.capacity() : 0;
  }

  bool sameKey(const char *doc, size_t docLength, const char *dtd, int cpFlag, int32_t dbCp) const {
    if (!keyed_ || cpFlag != cpFlag_ || dbCp != dbCodePage_ || docLength != doc_.size())
      return false;
    if ((dtd != nullptr) != hasDtd_ || (dtd != nullptr && dtd_ != dtd)) return false;
    return std::memcmp(doc, doc_.data(), docLength) == 0;
  }

  Entry *find(const char *path, int tagged, int32_t sizeLimit) {
    for (Entry &e : entries_)
      if (e.tagged == tagged && e.sizeLimit == sizeLimit && e.path == path) return &e;
    return nullptr;
  }

  Entry *add(const char *path, int tagged, int32_t sizeLimit) {
    if (entries_.size() >= kelMemoMaxPaths) return nullptr;
    Entry e;
    e.path = path;
    e.tagged = tagged;
    e.sizeLimit = sizeLimit;
    e.wanted = true;
    entries_.push_back(std::move(e));
    return &entries_.back();
  }

  // Drops the document and every answer; the paths stay.
  void forget() {
    keyed_ = false;
    for (Entry &e : entries_) {
      kelFreeExtractResult(&e.result);
      e.answered = false;
    }
  }

  /*
   * The memo's context traces only while it reads for a call, into that call's trace (see
   * readNew): it outlives calls, so a trace it opened itself would keep writing after tracing is
   * switched off, and one switched on later would never reach it.
   */
  struct BorrowedTrace {
    BorrowedTrace(KelCallContext *memo, const KelCallContext *caller) : memo_(memo) {
      memo_->traceFile = caller != nullptr ? caller->traceFile : nullptr;
      memo_->traceOn = memo_->traceFile != nullptr ? caller->traceOn : 0;
    }
    ~BorrowedTrace() {
      memo_->traceFile = nullptr;
      memo_->traceOn = 0;
    }
    KelCallContext *memo_;
  };

  // The memo's own context in the database code page of the caller's, without a trace of its own.
  bool contextFor(int32_t dbCp) {
    // An extractor that could not be made (out of memory) is made again with a new context.
    if (ctx_ != nullptr && dbCodePage_ == dbCp && extractor_ != nullptr) return true;
    extractor_.reset();
    if (ctx_ != nullptr) {
      char state[6];
      kelTerm(ctx_, state);
      std::free(ctx_);
    }
    ctx_ = static_cast<KelCallContext *>(std::calloc(1, sizeof(KelCallContext)));
    if (ctx_ == nullptr) return false;
    char state[6], msg[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{KEL_CP_FUNCTION_MODE, dbCp, nullptr};
    if (kelInit(ctx_, KEL_SHORT_MESSAGES, &request, state, msg, nullptr) < 0) {
      std::free(ctx_);
      ctx_ = nullptr;
      return false;
    }
    kelTraceClose(ctx_);
    extractor_.reset(new (std::nothrow) KelMultiExtractor(ctx_));
    return extractor_ != nullptr;
  }

  /*
   * A document not in the memo: it is read once for the paths asked of the previous document
   * (a trigger's side-table columns, a select list's extractions) and this one, traced into the
   * trace of the call that asked (caller), if that call traces.
   */
  const char *const *readNew(const KelCallContext *caller, const char *doc, size_t docLength,
                             const char *dtd, int cpFlag, int32_t dbCp, const char *path,
                             int tagged, int32_t sizeLimit) {
    forget();
    std::vector<Entry> kept;
    kept.reserve(entries_.size() + 1);
    for (Entry &e : entries_)
      if (e.wanted) kept.push_back(std::move(e));
    entries_ = std::move(kept);
    for (Entry &e : entries_) e.wanted = false;
    Entry *asked = find(path, tagged, sizeLimit);
    if (asked == nullptr) asked = add(path, tagged, sizeLimit);
    if (asked == nullptr) return nullptr;  // the most paths the memo takes are all asked
    asked->wanted = true;
    if (!contextFor(dbCp)) return nullptr;
    dbCodePage_ = dbCp;
    // The copy of a large document is not kept for the small ones after it.
    if (doc_.capacity() > 4 * docLength + 65536) std::string().swap(doc_);
    doc_.assign(doc, docLength);
    hasDtd_ = dtd != nullptr;
    dtd_.assign(hasDtd_ ? dtd : "");
    cpFlag_ = cpFlag;
    keyed_ = true;  // a document that fails is kept as the key too: its calls go their own way

    std::vector<KelPathRequest> requests;
    std::vector<KelExtractResult> results(entries_.size());
    requests.reserve(entries_.size());
    for (const Entry &e : entries_) requests.push_back({e.path.c_str(), e.tagged, e.sizeLimit});
    char state[6], msg[KEL_MSG_BUFFER + 1];
    msg[0] = '\0';
    bool selfContained = false;
    BorrowedTrace trace(ctx_, caller);
    int rc = extractor_->run(doc_.data(), doc_.size(), hasDtd_ ? dtd_.c_str() : nullptr, cpFlag,
                             requests.data(), requests.size(), results.data(), &selfContained,
                             state, msg);
    for (size_t i = 0; i < entries_.size(); ++i) {
      Entry &e = entries_[i];
      e.result = results[i];
      e.answered = rc == 0 && selfContained && std::strcmp(results[i].sqlstate, "00000") == 0 &&
                   results[i].items != nullptr;
    }
    if (rc != 0 || !selfContained) {
      for (Entry &e : entries_) kelFreeExtractResult(&e.result);
      return nullptr;
    }
    return asked->answered ? asked->result.items : nullptr;
  }

  KelCallContext *ctx_ = nullptr;
  std::unique_ptr<KelMultiExtractor> extractor_;
  std::vector<Entry> entries_;
  bool keyed_ = false;
  std::string doc_;
  std::string dtd_;
  bool hasDtd_ = false;
  int cpFlag_ = 0;
  int32_t dbCodePage_ = 0;
};

thread_local Memo tMemo;

}  // namespace

const char *const *kelMemoItems(KelCallContext *ctx, const char *doc, size_t docLength,
                                const char *dtd, int cpFlag, const char *path, int tagged,
                                int32_t sizeLimit) {
  // The memo only saves reads: whatever stops it (out of memory, of the C++ library or of the
  // parser library) leaves the call to read the document itself, which reports what it finds.
  try {
    return tMemo.items(ctx, doc, docLength, dtd, cpFlag, path, tagged, sizeLimit);
  } catch (...) {
    tMemo.release();
    return nullptr;
  }
}

size_t kelMemoBytes() {
  return tMemo.bytes();
}

void kelMemoClear() {
  tMemo.release();
}
