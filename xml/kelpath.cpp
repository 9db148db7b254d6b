/*
 * kelpath.cpp - compilation of location paths and their incremental matching against the
 * open elements of a parse.
 *
 * Names follow the name rules of the XML parser (XML 1.0, fifth edition), so every element
 * name the parser reads can be written in a path.
 */
#include "kelpath.h"

#include <xercesc/util/XMLChar.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

using xercesc::XMLChar1_0;

namespace {

constexpr const char kUnit[] = "kelpath";

// Progress entries a bound path holds from the start; deeper documents grow it.
constexpr size_t kBoundDepths = 32;

bool hasQuote(const XMLCh *s) {
  for (; *s; ++s)
    if (*s == u'"') return true;
  return false;
}

bool equals(const XMLCh *a, const XMLCh *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

bool isStar(const XMLCh *name) { return name[0] == u'*' && name[1] == 0; }

bool stepMatches(const KelQuery::StepTest &step, const KelPathNode &node) {
  if (!step.any) {
    const std::u16string &name = node.name();
    if (name.size() != step.nameLen || std::char_traits<XMLCh>::compare(name.data(), step.name, step.nameLen) != 0)
      return false;
  }
  if (step.predName == nullptr) return true;
  const XMLCh *value = node.attrs().getValue(step.predName);
  return value != nullptr && equals(value, step.predValue);
}

/*
 * The value of the first attribute called name, read as KelAttrs reads a snapshot: by local
 * name, or by qualified name when there is no local name (no namespace processing).
 */
const XMLCh *attributeValue(const xercesc::Attributes &attrs, const XMLCh *name) {
  for (XMLSize_t i = 0, n = attrs.getLength(); i < n; ++i) {
    const XMLCh *local = attrs.getLocalName(i);
    const XMLCh *key = local != nullptr && *local ? local : attrs.getQName(i);
    if (key == nullptr || !equals(key, name)) continue;
    const XMLCh *value = attrs.getValue(i);
    return value != nullptr ? value : u"";
  }
  return nullptr;
}

size_t length16(const XMLCh *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// KelCurrentPath

KelCurrentPath::KelCurrentPath(KelCallContext *ctx, bool keepText) : ctx_(ctx), keepText_(keepText) {
  if (keepText_) {
    text_.reserve(kInitialTextCapacity);
    textCapacity_ = kInitialTextCapacity;
  }
}

bool KelCurrentPath::bind(const KelQuery *query) {
  clear();
  query_ = nullptr;
  shortDepths_ = 0;
  if (query == nullptr || keepText_ || !query->bindable()) return false;
  try {
    // Room for the usual depths, so the pushes of a first document take the short way too.
    if (progress_.size() < kBoundDepths) progress_.resize(kBoundDepths);
  } catch (const std::bad_alloc &) {
    return false;  // unbound: matching reads names
  }
  progress_[0] = KelPathProgress{};  // nothing matched above the root
  progress_[0].match = static_cast<uint8_t>(query->stateOf(progress_[0], 0));
  query_ = query;
  shortDepths_ = progress_.size();
  return true;
}

void KelCurrentPath::pushSlow(const XMLCh *name, const xercesc::Attributes *attrs) {
  try {
    if (query_ != nullptr) {
      if (progress_.size() < depth_ + 2) progress_.resize(depth_ + 2);
      shortDepths_ = progress_.size();
      query_->advance(progress_[depth_], depth_ + 1, name, attrs, &progress_[depth_ + 1]);
      ++depth_;
      return;
    }
    if (depth_ == nodes_.size()) nodes_.push_back(std::unique_ptr<KelPathNode>(new KelPathNode(ctx_)));
    KelPathNode &node = *nodes_[depth_];
    node.middleQuery_ = nullptr;
    node.name_.assign(name);
    if (attrs != nullptr) node.attrs_.assign(*attrs);
    else node.attrs_.clear();
    ++depth_;
    if (keepText_) append_to_path(name);
  } catch (const std::bad_alloc &) {
    throw KELException(ctx_, KELG002E);
  }
}

void KelCurrentPath::pushUnnamedSlow() {
  try {
    if (query_ != nullptr) {
      if (progress_.size() < depth_ + 2) progress_.resize(depth_ + 2);
      shortDepths_ = progress_.size();
      progress_[depth_ + 1] = KelPathProgress{0, 0, true, NO_MATCH};  // nothing here is to match
      ++depth_;
      return;
    }
    if (depth_ == nodes_.size()) nodes_.push_back(std::unique_ptr<KelPathNode>(new KelPathNode(ctx_)));
    nodes_[depth_]->middleQuery_ = nullptr;
    ++depth_;
  } catch (const std::bad_alloc &) {
    throw KELException(ctx_, KELG002E);
  }
}

void KelCurrentPath::trimText() {
  size_t n = nodes_[depth_]->name_.size();
  size_t len = text_.size() > n ? text_.size() - n : 0;
  if (len > 0) --len;  // the blank before the name
  text_.resize(len);
}

void KelCurrentPath::growFor(size_t extraChars, bool blank) {
  // The text and its terminator must fit in the capacity.
  if (text_.size() + extraChars + 1 <= textCapacity_) return;
  if (blank)
    textCapacity_ += kTextGrowth;
  else
    textCapacity_ = std::max(textCapacity_ + kTextGrowth, text_.size() + 2 * extraChars);
  if (text_.size() + extraChars + 1 > textCapacity_) textCapacity_ = text_.size() + extraChars + 1;
  text_.reserve(textCapacity_);
}

void KelCurrentPath::append_to_path(const XMLCh *name) {
  try {
    if (!text_.empty()) {
      growFor(1, true);
      text_.push_back(u' ');
    }
    size_t n = length16(name);
    growFor(n, false);
    text_.append(name, n);
  } catch (const std::bad_alloc &) {
    throw KELException(ctx_, KELG002E);
  }
}

void KelCurrentPath::prepend_to_path(const XMLCh *name) {
  try {
    size_t n = length16(name);
    growFor(n + 1, false);
    std::u16string front(name, n);
    front.push_back(u' ');
    text_.insert(0, front);
  } catch (const std::bad_alloc &) {
    throw KELException(ctx_, KELG002E);
  }
}

XMLCh *KelCurrentPath::copy_path(size_t *nChars) const {
  *nChars = 0;
  if (text_.empty()) return nullptr;
  auto *out = static_cast<XMLCh *>(std::malloc((text_.size() + 1) * sizeof(XMLCh)));
  if (out == nullptr) {
    KEL_TRACE(ctx_, "malloc failed, outBuf==NULL\n");
    throw KELException(ctx_, KELG002E);
  }
  std::memcpy(out, text_.data(), text_.size() * sizeof(XMLCh));
  out[text_.size()] = 0;
  *nChars = text_.size();
  return out;
}

// ---------------------------------------------------------------------------------------------
// KelQuery

KelQuery::KelQuery(KelCallContext *ctx, const XMLCh *path) : ctx_(ctx) {
  const XMLCh *text = path != nullptr ? path : u"";
  // A path is read as written first.  One that does not compile so and holds a quote may have
  // "/", "//", "@" or "=" inside a quoted predicate value: it is read again with quoted text
  // kept whole, and that reading stands, error position included.  So a path that compiles as
  // written keeps its meaning.  The first reading traces nothing when a second may follow.
  const bool quoted = hasQuote(text);
  quiet_ = quoted;
  bool ok = compile(text);
  if (!ok && quoted) {
    hasTargetAttr_ = hasPredicates_ = false;
    targetAttr_.clear();
    targetKind_ = KEL_TARGET_TEXT;
    quoteAware_ = true;
    quiet_ = false;
    ok = compile(text);
  }
  if (!ok) {
    head_.clear();
    middle_.clear();
    tail_.clear();
    ignored_.clear();
    return;
  }
  // The tail is compiled before the middle segments: the ignored brackets go in path order.
  std::sort(ignored_.begin(), ignored_.end(),
            [](const Ignored &a, const Ignored &b) { return a.position < b.position; });
  tailInOrder_.assign(tail_.rbegin(), tail_.rend());
  tailLeads_ = leadTable(tailInOrder_);
  for (const std::vector<StepTest> &segment : middle_) middleLeads_.push_back(leadTable(segment));
  headSteps_ = head_.size();
  tailSteps_ = tail_.size();
  segments_ = middle_.size();
  headOnly_ = segments_ == 0 && tailSteps_ == 0;
  tailEnd_ = tailSteps_ != 0 && tailSteps_ <= kMaxChainSteps ? uint64_t{1} << (tailSteps_ - 1) : 0;
  bindable_ = tail_.size() <= kMaxChainSteps;
  for (const std::vector<StepTest> &segment : middle_)
    if (segment.size() > kMaxChainSteps) bindable_ = false;
  // skips() needs a tail (the state over an element that passes no step stays PENDING) and
  // no empty middle segment (one is found at any element, whatever its name).
  bool skippable = tailSteps_ != 0;
  uint64_t leads = 0;
  auto addLeads = [&](const LeadTable &table) {
    for (size_t c = 0; c < table.size(); ++c)
      if (table[c] != 0) leads |= uint64_t{1} << c;
  };
  addLeads(tailLeads_);
  for (size_t k = 0; k < segments_; ++k) {
    if (middle_[k].empty()) skippable = false;
    addLeads(middleLeads_[k]);
  }
  chainLeads_ = skippable ? leads : ~uint64_t{0};
}

XMLCh *KelQuery::find(XMLCh *s, XMLCh c) const {
  bool inQuotes = false;
  for (; *s; ++s) {
    if (quoteAware_ && *s == u'"') inQuotes = !inQuotes;
    else if (*s == c && !inQuotes) return s;
  }
  return nullptr;
}

XMLCh *KelQuery::findLast(XMLCh *s, XMLCh c) const {
  XMLCh *found = nullptr;
  for (XMLCh *p = s; (p = find(p, c)) != nullptr; ++p) found = p;
  return found;
}

XMLCh *KelQuery::findDoubleSlash(XMLCh *s) const {
  for (XMLCh *p = s; (p = find(p, u'/')) != nullptr; ++p)
    if (p[1] == u'/') return p;
  return nullptr;
}

XMLCh *KelQuery::findLastDoubleSlash(XMLCh *s) const {
  XMLCh *found = nullptr;
  for (XMLCh *p = s; (p = findDoubleSlash(p)) != nullptr; ++p) found = p;
  return found;
}

bool KelQuery::compile(const XMLCh *path) {
  errorPosition_ = 0;
  ignored_.clear();
  head_.clear();
  middle_.clear();
  tail_.clear();
  buf_.assign(path);
  XMLCh *p = buf_.data();
  if (p[0] != u'/') {
    errorPosition_ = 1;
    return false;
  }

  // An attribute target: an "@" with no "=" behind it, preceded by "/".
  XMLCh *lastAt = findLast(p, u'@');
  XMLCh *lastEq = findLast(p, u'=');
  if (lastAt != nullptr && (lastEq == nullptr || lastEq < lastAt)) {
    if (lastAt[-1] != u'/') {
      errorPosition_ = offsetOf(lastAt - 1);
      return false;
    }
    hasTargetAttr_ = true;
    targetAttr_.assign(lastAt + 1);
    targetKind_ = KEL_TARGET_ATTRIBUTE;
    lastAt[-1] = 0;
  }

  XMLCh *first = findDoubleSlash(p);
  if (first == nullptr) return parseChunk(p + 1, &head_);
  XMLCh *last = findLastDoubleSlash(p);
  // Cut the path into head, middle pieces and tail before compiling any of them.
  XMLCh *tailText = last + 2;
  std::vector<XMLCh *> pieces;
  if (last >= first + 2) {
    *last = 0;
    XMLCh *piece = first + 2;
    for (XMLCh *next; (next = findDoubleSlash(piece)) != nullptr; piece = next + 2) {
      *next = 0;
      pieces.push_back(piece);
    }
    pieces.push_back(piece);
  } else {
    *last = 0;
  }
  *first = 0;
  if (first != p && !parseChunk(p + 1, &head_)) return false;
  if (!parseChunk(tailText, &tail_)) return false;
  std::reverse(tail_.begin(), tail_.end());
  for (XMLCh *piece : pieces) {
    std::vector<StepTest> segment;
    if (!parseChunk(piece, &segment)) return false;
    middle_.push_back(std::move(segment));
  }
  return true;
}

bool KelQuery::parseChunk(XMLCh *text, std::vector<StepTest> *chain) {
  while (text != nullptr && *text) {
    // As written, the step ends at the first "/", unless a quote comes first and that "/" lies
    // inside the bracket: then it ends just behind the "]".  Read with quotes kept whole, it
    // ends at the first "/" outside quotes.
    XMLCh *end = find(text, u'/');
    if (!quoteAware_) {
      XMLCh *quote = find(text, u'"');
      XMLCh *close = find(text, u']');
      if (end != nullptr && quote != nullptr && quote < end && (close == nullptr || end < close))
        end = close != nullptr ? close + 1 : nullptr;
    }
    XMLCh *rest = nullptr;
    if (end != nullptr && *end) {
      *end = 0;
      rest = end + 1;
    }

    StepTest step;
    XMLCh *open = find(text, u'[');
    if (open != nullptr) *open = 0;
    step.name = text;
    if (!checkName(step.name)) return false;
    step.nameLen = length16(step.name);
    step.any = isStar(step.name);
    if (open != nullptr) {
      XMLCh *at = find(open + 1, u'@');
      if (at == nullptr) noteIgnored(open, 1 + length16(open + 1));
      else if (at > open + 1) noteIgnored(open + 1, at - open - 1);
      if (at != nullptr) {
        XMLCh *eq = find(at + 1, u'=');
        if (eq == nullptr) {
          if (!quiet_) KEL_TRACE(ctx_, "no = in path\n");
          errorPosition_ = offsetOf(at);
          return false;
        }
        *eq = 0;
        // The character after "=" is taken to be the opening quote, whatever it is; the value
        // runs to the next quote.
        XMLCh *value = eq[1] ? eq + 2 : nullptr;
        XMLCh *endQuote = value;
        while (endQuote != nullptr && *endQuote != u'"') endQuote = *endQuote ? endQuote + 1 : nullptr;
        if (endQuote == nullptr) {
          unsigned c1 = eq[1], c2 = c1 ? eq[2] : 0, c3 = c2 ? eq[3] : 0;
          if (!quiet_) KEL_TRACE(ctx_, "no end quote in path %x %x %x\n", c1, c2, c3);
          errorPosition_ = offsetOf(eq);
          return false;
        }
        *endQuote = 0;
        XMLCh *after = endQuote + 1;
        if (*after == u']') ++after;
        // Text after the predicate is ignored, but not steps: a bracket left open ran the rest of
        // the path into this step, and the path selected this step's element instead of the one
        // it names (/r/a[@k="2"/b gave a's text).  Such a reading fails, and the path is read
        // again with quoted text kept whole, as one that does not compile as written is.
        if (XMLCh *slash = find(after, u'/'); slash != nullptr) {
          errorPosition_ = offsetOf(slash);
          return false;
        }
        if (*after) noteIgnored(after, length16(after));
        step.predName = at + 1;
        if (!checkName(step.predName)) return false;
        step.predValue = value;
        hasPredicates_ = true;
      }
    }
    chain->push_back(step);
    text = rest;
  }
  return true;
}

void KelQuery::noteIgnored(const XMLCh *text, size_t length) {
  // Out of memory propagates as it does from the chains' own growth.
  ignored_.push_back(Ignored{offsetOf(text), static_cast<int>(length)});
}

bool KelQuery::checkName(const XMLCh *name) {
  if (isStar(name)) return true;
  if (name[0] == 0) {
    errorPosition_ = offsetOf(name);
    return false;
  }
  for (const XMLCh *c = name; *c; ++c) {
    // A surrogate pair is one character of the name.
    bool pair = *c >= 0xD800 && *c <= 0xDBFF && c[1] >= 0xDC00 && c[1] <= 0xDFFF;
    XMLCh second = pair ? c[1] : 0;
    bool ok = c == name ? XMLChar1_0::isFirstNameChar(*c, second) : XMLChar1_0::isNameChar(*c, second);
    if (!ok) {
      errorPosition_ = offsetOf(c);
      return false;
    }
    if (pair) ++c;
  }
  return true;
}

bool KelQuery::predicatePasses(const StepTest &step, const xercesc::Attributes *attrs) {
  const XMLCh *value = attrs != nullptr ? attributeValue(*attrs, step.predName) : nullptr;
  return value != nullptr && equals(value, step.predValue);
}

void KelQuery::advanceInMiddle(uint64_t *run, uint32_t *segments, const XMLCh *name,
                               const xercesc::Attributes *attrs) const {
  // An empty segment (from "////") is found at the first element below what came before,
  // without using it.
  while (*segments < segments_ && middle_[*segments].empty()) ++*segments;
  if (*segments < segments_) {
    const std::vector<StepTest> &segment = middle_[*segments];
    *run = extendRun(segment.data(), middleLeads_[*segments], *run, name, attrs);
    if ((*run >> (segment.size() - 1)) & 1) {
      ++*segments;
      *run = 0;  // the next chain starts below this element
    }
    return;
  }
  if (tailSteps_ != 0) *run = extendRun(tailInOrder_.data(), tailLeads_, *run, name, attrs);
}

KelQuery::LeadTable KelQuery::leadTable(const std::vector<StepTest> &chain) {
  LeadTable leads{};
  for (size_t j = 0; j < chain.size() && j < kMaxChainSteps; ++j) {
    const uint64_t bit = uint64_t{1} << j;
    if (chain[j].any) {
      for (uint64_t &entry : leads) entry |= bit;
    } else {
      leads[chain[j].name[0] & 63] |= bit;
    }
  }
  return leads;
}

void KelQuery::middleProgress(const KelCurrentPath &path, size_t start, size_t n, uint32_t *segments,
                              size_t *next) const {
  // Each segment is found at its first place, in order, each below the one before: over one
  // more element the segments found stay found, and only the next one can end at that element.
  // The deepest element that remembers its progress for this query is the place to go on from.
  size_t depth = n;
  while (depth > start && path.node(depth - 1)->middleQuery_ != this) --depth;
  uint32_t found = 0;
  size_t after = start;
  if (depth > start) {
    const KelPathNode &known = *path.node(depth - 1);
    found = known.middleSegments_;
    after = known.middleNext_;
  }
  for (; depth < n; ++depth) {  // the element at depth is the one added
    while (found < middle_.size()) {
      const std::vector<StepTest> &segment = middle_[found];
      const size_t m = segment.size();
      if (m == 0) {  // an empty segment ("////") is found over any element, and uses none
        if (depth < after) break;
        ++found;
        continue;
      }
      if (depth + 1 < after + m) break;
      size_t k = 0;
      while (k < m && stepMatches(segment[k], *path.node(depth + 1 - m + k))) ++k;
      if (k < m) break;
      ++found;
      after = depth + 1;
    }
    const KelPathNode &node = *path.node(depth);
    node.middleQuery_ = this;
    node.middleSegments_ = found;
    node.middleNext_ = after;
  }
  *segments = found;
  *next = after;
}

KelMatch KelQuery::matchNames(const KelCurrentPath &path) const {
  if (path.boundQuery() != nullptr) {
    KEL_TRACE(ctx_, "path bound to another query\n");
    throw KELException::internal(ctx_, kUnit, __LINE__);
  }
  const size_t n = path.size();
  size_t i = 0;
  for (const StepTest &step : head_) {
    if (i == n) return PENDING;
    if (!stepMatches(step, *path.node(i))) return NO_MATCH;
    ++i;
  }
  if (targetKind_ != KEL_TARGET_TAGGED && middle_.empty() && tail_.empty() && i < n) return NO_MATCH;

  // The tail must be found strictly below the last node the head or a middle segment used, so
  // that /a//a selects an "a" below the root "a", never the root itself.
  long stop = static_cast<long>(i) - 1;
  if (!middle_.empty()) {
    uint32_t found = 0;
    middleProgress(path, i, n, &found, &i);
    if (found < middle_.size()) return PENDING;
    stop = static_cast<long>(i) - 1;
  }
  long j = static_cast<long>(n) - 1;
  for (const StepTest &step : tail_) {
    if (j < 0 || j <= stop) return PENDING;
    if (!stepMatches(step, *path.node(static_cast<size_t>(j)))) return PENDING;
    --j;
  }
  return MATCHED;
}
