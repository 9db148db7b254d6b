/*
 * kelexplain.cpp - path diagnostics: one SAX pass that matches the compiled path exactly as
 * extraction does (MATCH rows) and, beside it, a relaxed match that may bend each step.
 *
 * The relaxed match reads the path as a list of steps, each reached from its predecessor by
 * the child axis ("/") or the descendant axis ("//").  A step may be bent: its name taken
 * without (or with another) namespace prefix, or in other letter case, its predicate failed,
 * or a child step taken at a deeper level (as if written after "//").  For every open element
 * and every number of steps j, the set of bend combinations (a 16-bit set of 4-bit masks) with
 * which the first j steps can end at that element is kept; an element where all steps end
 * with bends, and which the path does not select, is a near miss.  Its explanation is found by
 * walking back over the sets of its ancestors.
 */
#include "kelexplain.h"

#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <unicode/uchar.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelarena.h"
#include "kelentity.h"
#include "kelextract.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "keltrace.h"

using xercesc::XMLUni;

namespace {

const XMLCh kDocId[] = u"IdForDocBuffer";

// The bends of a step; a mask of them is a number from 0 to 15.
constexpr unsigned kPrefix = 1, kCase = 2, kPredicate = 4, kDepth = 8;
constexpr unsigned kNoPass = 0xFF;  // the element cannot pass the step, bent or not

// One step of the relaxed match, in path order.
struct Step {
  const KelQuery::StepTest *test;
  bool descendant;  // reached by "//" from the step before (or from the document)
  int pred = -1;    // the place of its predicate's value in a frame, -1 without a predicate
};

/*
 * One open element.  A deep document keeps one frame per level, so a frame holds the values of
 * the steps with a predicate only (most paths have none), not one per step.
 */
struct Frame {
  std::u16string qname;
  std::vector<std::optional<std::u16string>> predValues;  // [step.pred]: its value of that attribute
  std::vector<uint16_t> ends;     // [j]: masks with which steps 0..j-1 end at this element
  std::vector<uint16_t> reached;  // [j]: the same over this element and its ancestors
};

// The part of a qualified name after its prefix.
std::u16string_view localPart(std::u16string_view name) {
  size_t colon = name.rfind(u':');
  return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

bool equalFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k] != b[k] && u_foldCase(a[k], U_FOLD_CASE_DEFAULT) != u_foldCase(b[k], U_FOLD_CASE_DEFAULT)) return false;
  return true;
}

// The bends a name needs to pass a step's name: 0, kPrefix, kCase, both, or kNoPass.
unsigned nameBends(std::u16string_view name, std::u16string_view step) {
  if (name == step) return 0;
  std::u16string_view localName = localPart(name), localStep = localPart(step);
  if (localName == localStep) return kPrefix;
  if (equalFolded(name, step)) return kCase;
  if (equalFolded(localName, localStep)) return kPrefix | kCase;
  return kNoPass;
}

// Adds m | bends to the set out for every mask m of set.
uint16_t spread(uint16_t set, unsigned bends) {
  uint16_t out = 0;
  for (; set != 0; set &= set - 1) out |= uint16_t(1u << ((std::countr_zero(set) | bends) & 15));
  return out;
}

// The mask of a set with the fewest bends (the lowest of them on a tie).
unsigned leastBent(uint16_t set) {
  unsigned best = kNoPass;
  for (; set != 0; set &= set - 1) {
    unsigned m = std::countr_zero(set);
    if (best == kNoPass || std::popcount(m) < std::popcount(best)) best = m;
  }
  return best;
}

// A finding in UTF-16, converted when the rows are handed out.
struct Finding {
  const char *kind;
  bool hasLine;
  int32_t line, col;
  std::u16string foundPath, detail;
};

std::u16string quoted(std::u16string_view s) { return u"\"" + std::u16string(s) + u"\""; }

std::u16string number16(size_t n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

class ExplainHandler : public xercesc::DefaultHandler {
 public:
  ExplainHandler(KelCallContext *ctx, KelQuery &query, kelDocEntityResolver &resolver,
                 xercesc::SAX2XMLReaderImpl &reader, size_t room)
      : query_(query), open_(ctx, false), resolver_(resolver), reader_(reader), room_(room) {
    open_.bind(&query_);
    for (const KelQuery::StepTest &t : query_.head()) steps_.push_back({&t, false});
    for (const std::vector<KelQuery::StepTest> &segment : query_.middle())
      for (size_t k = 0; k < segment.size(); ++k) steps_.push_back({&segment[k], k == 0});
    for (size_t k = query_.tail().size(); k-- > 0;)
      steps_.push_back({&query_.tail()[k], k + 1 == query_.tail().size()});
    for (Step &step : steps_)
      if (step.test->predName != nullptr) step.pred = static_cast<int>(predicates_++);
    // A path that begins with "//" has no head: its first step is a descendant of the document.
    frames_.emplace_back();
    Frame &document = frames_.back();
    document.ends.assign(steps_.size() + 1, 0);
    document.ends[0] = 1;  // no step, no bend
    document.reached = document.ends;
  }

  std::vector<Finding> &matches() { return matches_; }
  std::vector<Finding> &nearMisses() { return nearMisses_; }

  void setDocumentLocator(const xercesc::Locator *locator) override {
    kelReadAsXml10(
        locator);  // the watch's place and its bound on the entities open, as in extraction
    locator_ = locator;
  }

  void startDTD(const XMLCh *, const XMLCh *, const XMLCh *systemId) override { resolver_.setSystemId(systemId); }
  // As in extraction: once the DTD is read, a reference to an entity no declaration read
  // declares ends the reading.
  void endDTD() override { kelRefuseUndeclaredEntities(reader_); }

  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname, const xercesc::Attributes &attrs) override {
    open_.push(qname, query_.hasPredicates() ? &attrs : nullptr);
    const KelMatch state = query_.isMatched(open_);
    ++depth_;
    if (frames_.size() <= depth_) frames_.emplace_back();
    Frame &f = frames_[depth_];
    f.qname.assign(qname);
    relaxedStep(f, attrs);
    if (state == MATCHED) {
      if (query_.targetKind() == KEL_TARGET_ATTRIBUTE) matchAttributes(attrs);
      else if (matchDepth_ == 0) {  // an element inside a selected one belongs to its value
        matchDepth_ = depth_;
        if (matches_.size() < room_) add(matches_, "MATCH", foundPath(depth_), u"selected");
      }
      return;
    }
    const uint16_t ends = f.ends[steps_.size()];
    if (ends == 0 || (ends & 1) != 0) return;  // no near miss (or one the path language reads otherwise)
    unsigned mask = leastBent(ends);
    const char *kind = (mask & kPrefix) ? "PREFIX" : (mask & kCase) ? "CASE" : (mask & kPredicate) ? "PREDICATE" : "DEPTH";
    if (nearMisses_.size() < room_) add(nearMisses_, kind, foundPath(depth_), explain(mask));
  }

  void endElement(const XMLCh *, const XMLCh *, const XMLCh *) override {
    open_.pop();
    if (matchDepth_ == depth_) matchDepth_ = 0;
    --depth_;
  }

  // The first warning already ends the parse, as in extraction.
  void warning(const xercesc::SAXParseException &e) override { throw e; }
  void error(const xercesc::SAXParseException &e) override { throw e; }
  void fatalError(const xercesc::SAXParseException &e) override { throw e; }

  ~ExplainHandler() override { open_.bind(nullptr); }

 private:
  // The bends element f needs to pass step j, or kNoPass.
  unsigned bends(const Frame &f, size_t j) const {
    const KelQuery::StepTest &t = *steps_[j].test;
    unsigned b = t.any ? 0 : nameBends(f.qname, std::u16string_view(t.name, t.nameLen));
    if (b == kNoPass) return kNoPass;
    if (t.predName != nullptr) {
      const std::optional<std::u16string> &value = f.predValues[static_cast<size_t>(steps_[j].pred)];
      if (!value || *value != t.predValue) b |= kPredicate;
    }
    return b;
  }

  // The sets of f from its parent's.
  void relaxedStep(Frame &f, const xercesc::Attributes &attrs) {
    const Frame &parent = frames_[depth_ - 1];
    const size_t n = steps_.size();
    f.predValues.resize(predicates_);
    for (const Step &step : steps_) {
      if (step.pred < 0) continue;
      const XMLCh *value = attrs.getValue(step.test->predName);
      std::optional<std::u16string> &mine = f.predValues[static_cast<size_t>(step.pred)];
      if (value != nullptr) mine = value;
      else mine.reset();
    }
    f.ends.assign(n + 1, 0);
    f.reached.resize(n + 1);
    for (size_t j = 0; j < n; ++j) {
      unsigned b = bends(f, j);
      if (b == kNoPass) continue;
      if (steps_[j].descendant) {
        f.ends[j + 1] = spread(parent.reached[j], b);
      } else {
        f.ends[j + 1] = spread(parent.ends[j], b) | spread(parent.reached[j], b | kDepth);
      }
    }
    for (size_t j = 0; j <= n; ++j) f.reached[j] = parent.reached[j] | f.ends[j];
  }

  /*
   * Finds where each step lies for a near miss of the open element with bends mask: at[j] is
   * the depth of the element step j ends at.  Walks back over the ancestors' sets.
   */
  bool witness(size_t depth, size_t j, unsigned mask, std::vector<size_t> &at) const {
    unsigned b = bends(frames_[depth], j);
    if (b == kNoPass || (b & ~mask) != 0) return false;
    at[j] = depth;
    for (size_t up = depth; up-- > 0;) {
      unsigned extra = steps_[j].descendant || up + 1 == depth ? 0 : kDepth;
      for (uint16_t set = frames_[up].ends[j]; set != 0; set &= set - 1) {
        unsigned m = std::countr_zero(set);
        // From the parent a child step is also reached bent (the sets hold both).
        bool fits = (m | b | extra) == mask || (!steps_[j].descendant && (m | b | kDepth) == mask);
        if (!fits) continue;
        if (j == 0) return true;  // the document: no step before
        if (witness(up, j - 1, m, at)) return true;
      }
    }
    return false;
  }

  // The explanation of a near miss of the open element.
  std::u16string explain(unsigned mask) const {
    const size_t n = steps_.size();
    std::vector<size_t> at(n, 0);
    if (!witness(depth_, n - 1, mask, at)) return u"";
    std::u16string out;
    auto sentence = [&out](const std::u16string &s) {
      if (!out.empty()) out += u"; ";
      out += s;
    };
    for (size_t j = 0; j < n; ++j) {
      const Frame &f = frames_[at[j]];
      const KelQuery::StepTest &t = *steps_[j].test;
      const std::u16string stepName(t.name, t.nameLen);
      unsigned b = bends(f, j);
      if ((b & kPrefix) && (b & kCase))
        sentence(quoted(f.qname) + u" has the local name of step " + quoted(stepName) +
                 u" in other letter case and with another namespace prefix");
      else if (b & kPrefix)
        sentence(quoted(f.qname) + u" has the local name of step " + quoted(stepName) + u" with another namespace prefix");
      else if (b & kCase)
        sentence(quoted(f.qname) + u" differs from step " + quoted(stepName) + u" in letter case");
      if (b & kPredicate) {
        const std::u16string want = std::u16string(t.predName) + u"=" + quoted(t.predValue);
        const std::optional<std::u16string> &value = f.predValues[static_cast<size_t>(steps_[j].pred)];
        if (value)
          sentence(quoted(f.qname) + u" has " + t.predName + u"=" + quoted(*value) + u" where the path asks for " + want);
        else
          sentence(quoted(f.qname) + u" has no attribute " + t.predName + u" where the path asks for " + want);
      }
      const size_t expected = j == 0 ? 1 : at[j - 1] + 1;
      if (!steps_[j].descendant && at[j] != expected)
        sentence(quoted(f.qname) + u" lies at depth " + number16(at[j]) + u", the path puts step " + quoted(stepName) +
                 u" at depth " + number16(expected) + u"; \"//\" before it would select it");
    }
    return out;
  }

  void matchAttributes(const xercesc::Attributes &attrs) {
    const XMLCh *target = query_.targetAttribute();
    if (target == nullptr) return;
    const bool all = target[0] == u'*' && target[1] == 0;
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i) {
      const XMLCh *name = attrs.getQName(i);
      unsigned b = all ? 0 : nameBends(name, target);
      if (b == 0) {
        // The room is looked at before the path is built: a deep match costs its depth.
        if (matches_.size() < room_) add(matches_, "MATCH", foundPath(depth_) + u"/@" + name, attrs.getValue(i));
      } else if (b != kNoPass && nearMisses_.size() < room_) {
        const std::u16string why = b & kPrefix ? u" has the local name of " + quoted(target) + u" with another namespace prefix"
                                               : u" differs from " + quoted(target) + u" in letter case";
        add(nearMisses_, b & kPrefix ? "PREFIX" : "CASE", foundPath(depth_) + u"/@" + name,
            u"attribute " + quoted(name) + why);
      }
    }
  }

  std::u16string foundPath(size_t depth) const {
    std::u16string out;
    for (size_t d = 1; d <= depth; ++d) out += u"/" + frames_[d].qname;
    return out;
  }

  void add(std::vector<Finding> &to, const char *kind, std::u16string foundPath, std::u16string detail) {
    if (to.size() >= room_) return;
    auto clamp = [](XMLFileLoc v) { return static_cast<int32_t>(std::min<XMLFileLoc>(v, INT32_MAX)); };
    int32_t line = locator_ != nullptr ? clamp(locator_->getLineNumber()) : 0;
    int32_t col = locator_ != nullptr ? clamp(locator_->getColumnNumber()) : 0;
    to.push_back(Finding{kind, true, line, col, std::move(foundPath), std::move(detail)});
  }

  KelQuery &query_;
  KelCurrentPath open_;  // bound to the query: the exact match, as extraction makes it
  kelDocEntityResolver &resolver_;
  xercesc::SAX2XMLReaderImpl &reader_;
  size_t room_;           // findings of each list at most
  const xercesc::Locator *locator_ = nullptr;
  std::vector<Step> steps_;
  size_t predicates_ = 0;  // steps with a predicate
  std::vector<Frame> frames_;  // [0] the document, [d] the open element at depth d
  size_t depth_ = 0;
  size_t matchDepth_ = 0;  // depth of the selected element being read, 0 when none
  std::vector<Finding> matches_, nearMisses_;
};


bool toRow(KelCallContext *ctx, Finding &f, KelExplainRow *row) {
  row->kind = f.kind;
  row->hasLine = f.hasLine;
  row->line = f.line;
  row->col = f.col;
  return kelToDbCut(ctx, std::move(f.foundPath), KEL_EXPLAIN_TEXT_BYTES, &row->foundPath) &&
         kelToDbCut(ctx, std::move(f.detail), KEL_EXPLAIN_TEXT_BYTES, &row->detail);
}

}  // namespace

int kelExplainPath(KelCallContext *ctx, const char *doc, size_t docLength, int cpFlag, int inMemory,
                   const char *path, std::vector<KelExplainRow> *rows, char *sqlstate, char *msg) {
  kelSetState(sqlstate, "00000");
  rows->clear();
  if (doc == nullptr || path == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return -1;
  }
  try {
    // The path compiles as extraction compiles it, with its errors.
    std::u16string path16((std::strlen(path) + 1) * 4, u'\0');
    int32_t n16 = KEL_mbstowcsFunction(ctx, path16.data(), path, static_cast<int32_t>(path16.size()));
    if (n16 < 0) {
      kelFail(ctx, msg, sqlstate, KELD002E, std::to_string(n16).c_str());
      return -1;
    }
    path16.resize(static_cast<size_t>(n16));
    KelQuery query(ctx, path16.c_str());
    if (query.errorPosition() != 0) {
      KEL_TRACE(ctx, "Error in XPATH: %s\n", path);
      kelFail(ctx, msg, sqlstate, KELD002E, std::to_string(query.errorPosition()).c_str());
      return -1;
    }

    std::vector<Finding> ignored;
    for (const KelQuery::Ignored &i : query.ignored()) {
      if (ignored.size() >= KEL_EXPLAIN_MAX_ROWS) break;
      std::u16string text = path16.substr(static_cast<size_t>(i.position), static_cast<size_t>(i.length));
      ignored.push_back(Finding{"IGNORED", false, 0, i.position, text,
                                quoted(text) + u" at position " + number16(static_cast<size_t>(i.position)) +
                                    u" is accepted and not applied: the step selects as if it were not written"});
    }

    if (inMemory == 1 && docLength == KEL_DOC_TERMINATED) docLength = std::strlen(doc);
    std::unique_ptr<xercesc::InputSource> src = kelOpenInput(ctx, doc, docLength, inMemory, cpFlag, kDocId, sqlstate, msg);
    if (src == nullptr) return -1;

    // The reader of extraction: no namespaces, no validation, the one resolver and its limits.
    // Its arena takes back whatever the parser leaves behind after a malformed document.
    KelArena arena;
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader(&arena);
    reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
    reader->setFeature(XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(XMLUni::fgXercesSchema, false);
    kelDocEntityResolver resolver(ctx, nullptr, true);
    KelEntityResolver guard(ctx, &resolver);
    kelSecureReader(*reader, &guard);
    ExplainHandler handler(ctx, query, resolver, *reader, KEL_EXPLAIN_MAX_ROWS - ignored.size());
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    reader->setLexicalHandler(&handler);
    if (kelGuardedParse(ctx, [&] { reader->parse(*src); }, sqlstate, msg, KelOtherFailure::Silent) < 0) return -1;

    std::vector<Finding> &found = handler.matches().empty() ? handler.nearMisses() : handler.matches();
    rows->resize(ignored.size() + found.size());
    size_t r = 0;
    for (std::vector<Finding> *list : {&ignored, &found})
      for (Finding &f : *list)
        if (!toRow(ctx, f, &(*rows)[r++])) {
          rows->clear();
          kelFail(ctx, msg, sqlstate, KELG002E);
          return -1;
        }
    return 0;
  } catch (const std::bad_alloc &) {
    rows->clear();
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  }
}
