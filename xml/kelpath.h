/*
 * kelpath.h - location paths: a path such as /order/item[@kind="book"]/price, //price or
 * /order/@id compiled into a KelQuery, and the stack of open elements of a SAX parse
 * (KelCurrentPath) that the query is matched against at every element start and end.
 *
 * A path bound to a query (KelCurrentPath::bind) keeps, per open element, only how far the
 * query got along the elements up to it (KelPathProgress), worked out at the push from the
 * parser's own name and attributes: nothing is copied per element, a push tests only the
 * steps that can apply at that place, and isMatched reads the deepest progress.  An unbound
 * path keeps each element's name and attributes and serves any query.
 *
 * A path is split into steps and its target found outside quoted predicate values when the
 * path as written does not compile: "/a/b[@u=\"http://x\"]" has two steps.
 *
 * All text is UTF-16.  A KelQuery keeps its own copy of the path text.  Objects belong to one
 * parse on one thread.
 */
#ifndef KEL_PATH_H
#define KEL_PATH_H

#include <xercesc/sax2/Attributes.hpp>

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelSgDocHandler.h"

struct KelCallContext;
class KelQuery;

enum KelMatch { NO_MATCH = 0, PENDING = 1, MATCHED = 2 };

/*
 * How far a query got along the open elements up to one depth of a bound path.  Below the
 * head, elements are matched against one chain at a time (each middle segment in turn, then
 * the tail), shift-and style: bit j of run is set when the last j + 1 elements pass the first
 * j + 1 steps of that chain.  A segment is found when its last bit is set; the next chain
 * starts with the following element, so the tail lies strictly below the last segment.
 */
struct KelPathProgress {
  uint64_t run = 0;        // the current chain's partial matches
  uint32_t segments = 0;   // middle segments found
  bool headFailed = false; // an element did not pass its head step: nothing below matches
  uint8_t match = PENDING; // the query's KelMatch over these elements, worked out at the push
};

// Target kinds of a query.
inline constexpr int KEL_TARGET_ATTRIBUTE = 0;
inline constexpr int KEL_TARGET_TEXT = 1;
inline constexpr int KEL_TARGET_TAGGED = 2;

// One open element: its name and its attributes.
class KelPathNode {
 public:
  const std::u16string &name() const { return name_; }
  const KelAttrs &attrs() const { return attrs_; }
  KelAttrs &attrs() { return attrs_; }

 private:
  friend class KelCurrentPath;
  friend class KelQuery;  // matchNames() keeps its middle segments' progress here
  explicit KelPathNode(KelCallContext *ctx) : attrs_(ctx) {}
  std::u16string name_;
  KelAttrs attrs_;
  // An unbound path's matching: how far query's middle segments got over the elements down to
  // this one (segments found, and the element after the last one found).  Forgotten at the push
  // that reuses the node; query is null then.
  mutable const KelQuery *middleQuery_ = nullptr;
  mutable uint32_t middleSegments_ = 0;
  mutable size_t middleNext_ = 0;
};

/*
 * The open elements of a parse, root first, and optionally their names as a blank-separated
 * text ("order item price").  Nodes and their storage are reused from one push to the next.
 */
class KelCurrentPath {
 public:
  static constexpr size_t kInitialTextCapacity = 2049;
  static constexpr size_t kTextGrowth = 2048;

  KelCurrentPath(KelCallContext *ctx, bool keepText);
  /*
   * Appends an element; attrs may be null (no attributes are kept, and a step with a
   * predicate fails on the element).  A bound path reads name and attrs only during the call.
   */
  inline void push(const XMLCh *name, const xercesc::Attributes *attrs);
  /*
   * Appends an element whose name and attributes will never be read (inside a subtree that
   * cannot match): only the depth counts.  Not for a path that keeps its text form.
   */
  inline void pushUnnamed();
  // Removes the deepest element.
  void pop() {
    if (depth_ == 0) return;
    --depth_;
    if (keepText_) trimText();
  }
  // pop() for a path that does not keep its text form.
  void popDepth() {
    if (depth_ != 0) --depth_;
  }
  // Removes every element (storage is kept for the next parse).
  void clear() {
    depth_ = 0;
    text_.clear();
  }
  /*
   * Empties the path and binds it to query (null unbinds it).  A bound path keeps for each
   * element only the query's progress: pushes copy nothing, node() and first()/last() are
   * null, and only query's isMatched may read the path (another query's raises KELG001E).
   * A path that keeps its text form, or a query with a middle segment or tail of more than 64
   * steps, stays unbound (names are kept, matching reads them).  Returns whether the path is
   * now bound to query.
   */
  bool bind(const KelQuery *query);
  const KelQuery *boundQuery() const { return query_; }
  size_t size() const { return depth_; }
  bool empty() const { return depth_ == 0; }
  const KelPathNode *node(size_t i) const { return query_ ? nullptr : nodes_[i].get(); }
  const KelPathNode *first() const { return depth_ && !query_ ? nodes_[0].get() : nullptr; }
  const KelPathNode *last() const { return depth_ && !query_ ? nodes_[depth_ - 1].get() : nullptr; }
  // Bound path: the progress over the first depth elements (0 <= depth <= size()).
  const KelPathProgress &progress(size_t depth) const { return progress_[depth]; }

  // The text form (empty unless kept).
  const std::u16string &text() const { return text_; }
  size_t textCapacity() const { return textCapacity_; }
  void append_to_path(const XMLCh *name);
  void prepend_to_path(const XMLCh *name);
  /*
   * Returns a newly allocated terminated copy of the text form (the caller frees it with
   * free()) and sets *nChars to its length; returns null and 0 when the text is empty.
   */
  XMLCh *copy_path(size_t *nChars) const;

 private:
  friend class KelQuery;  // skipOrName() and pushNamed() record a bound path's progress in place
  void pushSlow(const XMLCh *name, const xercesc::Attributes *attrs);
  void pushUnnamedSlow();
  void trimText();
  void growFor(size_t extraChars, bool blank);
  KelCallContext *ctx_;
  bool keepText_;
  const KelQuery *query_ = nullptr;  // the query the path is bound to, or null
  std::vector<std::unique_ptr<KelPathNode>> nodes_;
  std::vector<KelPathProgress> progress_;  // bound path: [d] is the progress over d elements
  size_t shortDepths_ = 0;  // bound path: progress_.size(), the depths a push records in place; else 0
  size_t depth_ = 0;
  std::u16string text_;
  size_t textCapacity_ = 0;
};

/*
 * A compiled location path.  After construction errorPosition() is 0 when the path compiled,
 * else the position for message KELD002E (1 when the path does not begin with "/", otherwise
 * the offset from 0 of the offending character).
 */
class KelQuery {
 public:
  KelQuery(KelCallContext *ctx, const XMLCh *path);
  KelQuery(const KelQuery &) = delete;
  KelQuery &operator=(const KelQuery &) = delete;

  int errorPosition() const { return errorPosition_; }
  int targetKind() const { return targetKind_; }
  void setTargetKind(int kind) { targetKind_ = kind; }
  // The attribute after the final "/@" ("*" for all attributes), or null.
  const XMLCh *targetAttribute() const { return hasTargetAttr_ ? targetAttr_.c_str() : nullptr; }

  inline KelMatch isMatched(const KelCurrentPath &path) const;
  // What skipOrName() did with an element.
  enum SkipOutcome { SKIPPED, NAME_TO_TEST, NOT_SKIPPED };
  /*
   * The short way of a handler's start tag, for the many elements of a "//" path that cannot
   * take part in a match.  When path is bound to this query, has room for one more element,
   * and the element lies below the head under elements whose head steps passed: if it skips()
   * at its depth, appends it and returns SKIPPED (the state over it is PENDING whatever its
   * attributes); otherwise appends nothing and returns NAME_TO_TEST (pushNamed() may decide
   * it).  In any other case appends nothing and returns NOT_SKIPPED (push it then).  A few
   * loads and one table test.
   */
  inline SkipOutcome skipOrName(KelCurrentPath &path, const XMLCh *name) const;
  /*
   * For an element skipOrName() gave NAME_TO_TEST: when the elements above it lie below every
   * middle segment, it may pass at most one step of the tail and that step has no predicate,
   * appends it and returns the state over it (PENDING or MATCHED), exactly as push() would.
   * Otherwise appends nothing and returns -1 (push it then).  At most one name comparison.
   */
  inline int pushNamed(KelCurrentPath &path, const XMLCh *name) const;
  /*
   * The state over depth elements whose progress is p (the rules of isMatched).  At depth 0
   * it does not depend on the target kind.
   */
  KelMatch stateOf(const KelPathProgress &p, size_t depth) const {
    if (p.headFailed) return NO_MATCH;
    if (depth < headSteps_) return PENDING;
    if (headOnly_)
      return targetKind_ != KEL_TARGET_TAGGED && depth > headSteps_ ? NO_MATCH : MATCHED;
    if (p.segments < segments_) return PENDING;
    return tailEnd_ == 0 || (p.run & tailEnd_) != 0 ? MATCHED : PENDING;
  }
  /*
   * True when an element at depth (1 for the root) with this name can pass no step of a
   * middle segment or of the tail, and so leaves every chain's run empty and the state
   * PENDING below an element whose head steps passed.  Decided from the name's first unit
   * alone; false for a depth within the head, for a "*" step below the head, for a query
   * without a tail or with an empty middle segment (from "////"), and for a query with only a
   * head.
   */
  bool skips(size_t depth, const XMLCh *name) const {
    return depth > headSteps_ && ((chainLeads_ >> (name[0] & 63)) & 1) == 0;
  }
  // True when a step tests an attribute: only then does matching read the path's attributes.
  bool hasPredicates() const { return hasPredicates_; }

  // The longest middle segment or tail a bound path can follow: the bits of a progress's run.
  static constexpr size_t kMaxChainSteps = 64;
  // True when no middle segment and no tail is longer than kMaxChainSteps: a path can be bound.
  bool bindable() const { return bindable_; }
  /*
   * Sets *next to the progress over depth elements (1 for the root) when the deepest has this
   * name and these attributes (may be null) and parent is the progress over the elements
   * above it.  Only the head step of that depth, or the steps of the chain being matched, are
   * tested.
   */
  inline void advance(const KelPathProgress &parent, size_t depth, const XMLCh *name,
                      const xercesc::Attributes *attrs, KelPathProgress *next) const;

  struct StepTest {
    const XMLCh *name = nullptr;       // "*" matches any element
    const XMLCh *predName = nullptr;   // null without a predicate
    const XMLCh *predValue = nullptr;
    size_t nameLen = 0;                // characters of name
    bool any = false;                  // name is "*"
  };
  // The compiled chains, for inspection: head in path order, tail last step first.
  const std::vector<StepTest> &head() const { return head_; }
  const std::vector<std::vector<StepTest>> &middle() const { return middle_; }
  const std::vector<StepTest> &tail() const { return tail_; }

  /*
   * Compiles the steps of text (a terminated piece of this query's path buffer, modified in
   * place) into chain.  Returns false with errorPosition() set on a syntax error.
   */
  bool parseChunk(XMLCh *text, std::vector<StepTest> *chain);

  /*
   * Bracket text the path language accepts and does not apply: a bracket without "@" (a
   * position such as "[2]", or "[text()=\"x\"]"), text between "[" and the "@" of a predicate,
   * and text after the predicate's closing quote other than its "]".  position counts as error
   * positions do (from 0); length is in UTF-16 units.  In path order; empty when the path does
   * not compile.
   */
  struct Ignored {
    int position;
    int length;
  };
  const std::vector<Ignored> &ignored() const { return ignored_; }

 private:
  // One reading of path into the chains; false with errorPosition() set on a syntax error.
  bool compile(const XMLCh *path);
  // The first c (or "//") in s, or its last; a quote-aware reading skips what lies between a
  // '"' and the next.
  XMLCh *find(XMLCh *s, XMLCh c) const;
  XMLCh *findLast(XMLCh *s, XMLCh c) const;
  XMLCh *findDoubleSlash(XMLCh *s) const;
  XMLCh *findLastDoubleSlash(XMLCh *s) const;
  bool checkName(const XMLCh *name);
  // Records length units from text as accepted and ignored.
  void noteIgnored(const XMLCh *text, size_t length);
  // isMatched on a path that keeps the names of its elements.
  KelMatch matchNames(const KelCurrentPath &path) const;
  /*
   * matchNames(): the middle segments found over the first n elements of path (from element
   * start, the first below the head) and the element after the last one found.  Kept in the
   * nodes, so that each push costs one segment's length, not the depth times it.
   */
  void middleProgress(const KelCurrentPath &path, size_t start, size_t n, uint32_t *segments, size_t *next) const;
  // The step test on an element as the parser reports it (name read no further than the
  // step's name and the terminator after it).
  static bool passes(const StepTest &step, const XMLCh *name, const xercesc::Attributes *attrs) {
    if (!step.any && !sameName(step, name)) return false;
    return step.predName == nullptr || predicatePasses(step, attrs);
  }
  // The step's name is the element's (name is read no further than the step's name and the
  // unit after it).
  static bool sameName(const StepTest &step, const XMLCh *name) {
    if (name[0] != step.name[0]) return false;  // most elements fail here
    size_t k = 1;
    for (; k < step.nameLen; ++k)
      if (name[k] != step.name[k]) return false;  // a shorter name fails at its terminator
    return name[k] == 0;
  }
  static bool predicatePasses(const StepTest &step, const xercesc::Attributes *attrs);
  /*
   * For a chain of steps (a middle segment or the tail), by the low six bits of an element
   * name's first unit: the steps that name can pass (a "*" step is in every entry).
   */
  using LeadTable = std::array<uint64_t, 64>;
  static LeadTable leadTable(const std::vector<StepTest> &chain);
  /*
   * The run of a chain of steps after one more element: bit j when the element passes step j
   * and the elements before it passed steps 0 to j - 1.  Only those steps are tested, and of
   * them only the ones the lead table leaves.
   */
  static uint64_t extendRun(const StepTest *chain, const LeadTable &leads, uint64_t run,
                            const XMLCh *name, const xercesc::Attributes *attrs) {
    uint64_t candidates = ((run << 1) | 1) & leads[name[0] & 63];
    if ((candidates & (candidates - 1)) == 0) {  // none, or one: the usual cases
      if (candidates == 0) return 0;
      return passes(chain[std::countr_zero(candidates)], name, attrs) ? candidates : 0;
    }
    uint64_t next = 0;
    for (; candidates != 0; candidates &= candidates - 1) {
      int j = std::countr_zero(candidates);
      if (passes(chain[j], name, attrs)) next |= uint64_t{1} << j;
    }
    return next;
  }
  // advance() below the head while middle segments remain to be found.
  void advanceInMiddle(uint64_t *run, uint32_t *segments, const XMLCh *name,
                       const xercesc::Attributes *attrs) const;
  int offsetOf(const XMLCh *p) const { return static_cast<int>(p - buf_.data()); }

  KelCallContext *ctx_;
  std::u16string buf_;   // the path text, with terminators written into it
  int errorPosition_ = 0;
  bool quoteAware_ = false;  // the reading that keeps quoted text whole
  bool quiet_ = false;       // a reading whose failure is not traced (another one follows)
  int targetKind_ = KEL_TARGET_TEXT;
  bool hasTargetAttr_ = false;
  bool hasPredicates_ = false;
  std::u16string targetAttr_;
  std::vector<StepTest> head_;
  std::vector<std::vector<StepTest>> middle_;
  std::vector<StepTest> tail_;
  std::vector<Ignored> ignored_;
  std::vector<StepTest> tailInOrder_;  // the tail in path order, for advance()
  std::vector<LeadTable> middleLeads_;
  LeadTable tailLeads_{};
  size_t headSteps_ = 0, segments_ = 0, tailSteps_ = 0;  // the chains' sizes
  bool headOnly_ = true;   // no middle segment, no tail
  uint64_t tailEnd_ = 0;   // the run bit of the tail's last step; 0 without a tail
  // Bit c: some step below the head may pass a name whose first unit is c modulo 64 (every
  // bit when skips() does not apply to the query).
  uint64_t chainLeads_ = ~uint64_t{0};
  bool bindable_ = false;
};

KelMatch KelQuery::isMatched(const KelCurrentPath &path) const {
  if (path.boundQuery() != this) return matchNames(path);
  return static_cast<KelMatch>(path.progress(path.size()).match);
}

void KelQuery::advance(const KelPathProgress &parent, size_t depth, const XMLCh *name,
                       const xercesc::Attributes *attrs, KelPathProgress *next) const {
  *next = parent;
  if (next->headFailed) return;  // its state stays NO_MATCH
  if (depth > headSteps_ && next->segments == segments_ && tailSteps_ != 0) {
    // Below the head and every middle segment: only the tail's run moves.
    next->run = extendRun(tailInOrder_.data(), tailLeads_, next->run, name, attrs);
    next->match = (next->run & tailEnd_) != 0 ? MATCHED : PENDING;
    return;
  }
  if (depth <= headSteps_) {
    if (!passes(head_[depth - 1], name, attrs)) {
      next->headFailed = true;
      next->match = NO_MATCH;
      return;
    }
  } else if (next->segments < segments_) {
    advanceInMiddle(&next->run, &next->segments, name, attrs);
  }
  next->match = static_cast<uint8_t>(stateOf(*next, depth));
}

// A bound path's push, once its storage reaches the depth, only records the progress.
inline void KelCurrentPath::push(const XMLCh *name, const xercesc::Attributes *attrs) {
  const size_t depth = depth_ + 1;
  if (depth < shortDepths_) {
    KelPathProgress *progress = progress_.data();
    query_->advance(progress[depth - 1], depth, name, attrs, &progress[depth]);
    depth_ = depth;
    return;
  }
  pushSlow(name, attrs);
}

inline void KelCurrentPath::pushUnnamed() {
  const size_t depth = depth_ + 1;
  if (depth < shortDepths_) {
    progress_[depth] = KelPathProgress{0, 0, true, NO_MATCH};  // nothing here is to match
    depth_ = depth;
    return;
  }
  pushUnnamedSlow();
}

KelQuery::SkipOutcome KelQuery::skipOrName(KelCurrentPath &path, const XMLCh *name) const {
  if (chainLeads_ == ~uint64_t{0}) return NOT_SKIPPED;  // no element skips: one test for such a query
  const size_t depth = path.depth_ + 1;
  if (path.query_ != this || depth >= path.shortDepths_ || depth <= headSteps_) return NOT_SKIPPED;
  KelPathProgress *progress = path.progress_.data();
  const KelPathProgress &parent = progress[depth - 1];
  if (parent.headFailed) return NOT_SKIPPED;  // NO_MATCH, not PENDING
  if (!skips(depth, name)) return NAME_TO_TEST;
  // What advance() gives: every chain's run ends here, the segments found stay found.
  progress[depth] = KelPathProgress{0, parent.segments, false, PENDING};
  path.depth_ = depth;
  return SKIPPED;
}

int KelQuery::pushNamed(KelCurrentPath &path, const XMLCh *name) const {
  // skipOrName() checked the binding, the room, the depth and the head; a query that skips
  // has a tail.
  const size_t depth = path.depth_ + 1;
  KelPathProgress *next = path.progress_.data() + depth;
  const KelPathProgress &parent = next[-1];
  // What advance() gives below every middle segment: only the tail's run moves.
  if (parent.segments != segments_) return -1;
  const uint64_t candidates = ((parent.run << 1) | 1) & tailLeads_[name[0] & 63];
  if ((candidates & (candidates - 1)) != 0) return -1;  // several steps to test
  uint64_t run = 0;
  if (candidates != 0) {
    const StepTest &step = tailInOrder_[std::countr_zero(candidates)];
    if (step.predName != nullptr) return -1;  // the attributes decide
    if (step.any || sameName(step, name)) run = candidates;
  }
  const uint8_t match = (run & tailEnd_) != 0 ? MATCHED : PENDING;
  *next = KelPathProgress{run, parent.segments, false, match};
  path.depth_ = depth;
  return match;
}

#endif /* KEL_PATH_H */
