/*
 * kelschemascan.cpp - a schema document's nesting, and the chain of definitions its parse's
 * documents make by naming one another, measured by a plain read before the parser reads it.
 */
#include "kelschemascan.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kelarena.h"
#include "kelentity.h"

namespace {

using Name = std::u16string_view;

// Ends the plain read of a document the measurement refuses, with the reason.
struct Refused {
  std::string why;
};

// How deep a pattern nests its groups and character classes: the parser reads and compiles a
// pattern recursively, one level of its stack per level of the pattern (50,000 groups, or
// 100,000 classes each subtracting the next, ended the process).  A backslash escapes the next
// character; inside a class a parenthesis is a character.
size_t patternDepth(const XMLCh *pattern) {
  size_t groups = 0, classes = 0, deepest = 0;
  for (const XMLCh *c = pattern; *c != 0; ++c) {
    if (*c == u'\\') {
      if (c[1] == 0) break;
      ++c;
      continue;
    }
    if (*c == u'[') {
      ++classes;
    } else if (*c == u']') {
      if (classes > 0) --classes;
    } else if (classes == 0 && *c == u'(') {
      ++groups;
    } else if (classes == 0 && *c == u')') {
      if (groups > 0) --groups;
    }
    deepest = std::max(deepest, groups + classes);
  }
  return deepest;
}

/*
 * The definitions of the parse and the names each holds: a node per definition or name, keyed
 * by its kind and local name (namespaces are not told apart, which can only join chains, never
 * split one).
 */
class Definitions {
 public:
  void clear() {
    ids_.clear();
    weight_.clear();
    names_.clear();
  }

  uint32_t node(char16_t kind, Name local) {
    std::u16string key(1, kind);
    key.append(local);
    auto [it, added] = ids_.emplace(std::move(key), static_cast<uint32_t>(weight_.size()));
    if (added) {
      weight_.push_back(1);
      names_.emplace_back();
    }
    return it->second;
  }

  // from names to at depth within it (1: on the definition itself).
  void name(uint32_t from, uint32_t to, uint32_t depth) {
    weight_[from] = std::max(weight_[from], depth);
    std::vector<uint32_t> &out = names_[from];
    if (out.empty() || out.back() != to) out.push_back(to);
  }

  /*
   * The longest walk the parser can make through definitions naming one another: a walk
   * enters each definition once, so within a group of definitions that name each other in a
   * circle it counts them all, and across groups it takes the heaviest path (strongly connected
   * components found without recursion, in the order where each comes after all it reaches).
   */
  uint64_t longestChain() const {
    const size_t n = weight_.size();
    std::vector<int64_t> index(n, -1), low(n, 0), component(n, -1);
    std::vector<char> onStack(n, 0);
    std::vector<uint32_t> stack, members;
    std::vector<uint64_t> best;
    struct Frame {
      uint32_t v;
      size_t next;
    };
    std::vector<Frame> calls;
    int64_t counter = 0;
    uint64_t longest = 0;
    auto enter = [&](uint32_t v) {
      index[v] = low[v] = counter++;
      stack.push_back(v);
      onStack[v] = 1;
      calls.push_back({v, 0});
    };
    for (uint32_t root = 0; root < n; ++root) {
      if (index[root] >= 0) continue;
      enter(root);
      while (!calls.empty()) {
        Frame &f = calls.back();
        const uint32_t v = f.v;
        if (f.next < names_[v].size()) {
          const uint32_t w = names_[v][f.next++];
          if (index[w] < 0) {
            enter(w);
          } else if (onStack[w]) {
            low[v] = std::min(low[v], index[w]);
          }
          continue;
        }
        calls.pop_back();
        if (!calls.empty()) low[calls.back().v] = std::min(low[calls.back().v], low[v]);
        if (low[v] != index[v]) continue;
        const auto c = static_cast<int64_t>(best.size());
        uint64_t sum = 0;
        members.clear();
        uint32_t w;
        do {
          w = stack.back();
          stack.pop_back();
          onStack[w] = 0;
          component[w] = c;
          sum += weight_[w];
          members.push_back(w);
        } while (w != v);
        uint64_t beyond = 0;
        for (uint32_t m : members)
          for (uint32_t x : names_[m])
            if (component[x] != c) beyond = std::max(beyond, best[static_cast<size_t>(component[x])]);
        best.push_back(sum + beyond);
        longest = std::max(longest, best.back());
      }
    }
    return longest;
  }

 private:
  std::unordered_map<std::u16string, uint32_t> ids_;
  std::vector<uint32_t> weight_;
  std::vector<std::vector<uint32_t>> names_;
};

// The local part of a qualified name, without surrounding blanks.
Name localPart(Name qname) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  while (!qname.empty() && blank(qname.front())) qname.remove_prefix(1);
  while (!qname.empty() && blank(qname.back())) qname.remove_suffix(1);
  size_t colon = qname.rfind(u':');
  return colon == Name::npos ? qname : qname.substr(colon + 1);
}

// The kind of definition a top-level element makes, or 0.
char16_t definitionKind(Name element) {
  if (element == u"complexType" || element == u"simpleType") return u'T';
  if (element == u"group") return u'G';
  if (element == u"attributeGroup") return u'A';
  if (element == u"element") return u'E';
  if (element == u"attribute") return u'B';
  return 0;
}

class Scan : public xercesc::DefaultHandler {
 public:
  explicit Scan(Definitions *definitions) : defs_(definitions) {}

  void startDocument() override { depth_ = definitionAt_ = redefineAt_ = 0; }

  void startElement(const XMLCh *, const XMLCh *localname, const XMLCh *,
                    const xercesc::Attributes &attrs) override {
    if (++depth_ > KEL_SCHEMA_DOCUMENT_DEPTH_LIMIT)
      throw Refused{"its elements nest more than " + std::to_string(KEL_SCHEMA_DOCUMENT_DEPTH_LIMIT) + " levels deep"};
    const Name element(localname != nullptr ? localname : u"");
    if (element == u"pattern") {
      const XMLCh *value = attrs.getValue(u"value");
      if (value != nullptr && patternDepth(value) > KEL_SCHEMA_PATTERN_DEPTH_LIMIT)
        throw Refused{"one of its patterns nests groups and character classes more than " +
                      std::to_string(KEL_SCHEMA_PATTERN_DEPTH_LIMIT) + " levels deep"};
    }
    if (definitionAt_ == 0) {
      if (depth_ == 2 && element == u"redefine") redefineAt_ = depth_;
      const bool topLevel = depth_ == 2 || (redefineAt_ != 0 && depth_ == redefineAt_ + 1);
      const XMLCh *name = attrs.getValue(u"name");
      const char16_t kind = topLevel ? definitionKind(element) : 0;
      if (kind == 0 || name == nullptr) return;
      definitionAt_ = depth_;
      current_ = defs_->node(kind, localPart(name));
    }
    const auto depth = static_cast<uint32_t>(depth_ - definitionAt_ + 1);
    auto names = [&](const XMLCh *attr, char16_t kind) {
      const XMLCh *value = attrs.getValue(attr);
      if (value != nullptr) defs_->name(current_, defs_->node(kind, localPart(value)), depth);
    };
    names(u"type", u'T');
    names(u"base", u'T');
    names(u"itemType", u'T');
    names(u"substitutionGroup", u'E');
    if (const XMLCh *members = attrs.getValue(u"memberTypes")) {
      Name list(members);
      while (!list.empty()) {
        size_t end = list.find_first_of(u" \t\r\n");
        Name one = list.substr(0, end);
        if (!one.empty()) defs_->name(current_, defs_->node(u'T', localPart(one)), depth);
        if (end == Name::npos) break;
        list.remove_prefix(end + 1);
      }
    }
    const char16_t refKind = element == u"element"          ? u'E'
                             : element == u"attribute"      ? u'B'
                             : element == u"group"          ? u'G'
                             : element == u"attributeGroup" ? u'A'
                                                            : 0;
    if (refKind != 0) names(u"ref", refKind);
  }

  void endElement(const XMLCh *, const XMLCh *, const XMLCh *) override {
    if (depth_ == definitionAt_) definitionAt_ = 0;
    if (depth_ == redefineAt_) redefineAt_ = 0;
    --depth_;
  }

  void fatalError(const xercesc::SAXParseException &e) override { throw e; }

 private:
  Definitions *defs_;
  size_t depth_ = 0;
  size_t definitionAt_ = 0;  // depth of the definition being read, 0 outside one
  size_t redefineAt_ = 0;    // depth of the redefine being read, 0 outside one
  uint32_t current_ = 0;
};

}  // namespace

struct KelSchemaScan::Impl {
  std::unique_ptr<KelArena> arena;  // what the reader allocates; goes after it
  std::unique_ptr<KelEntityResolver> resolver;
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader;
  Definitions definitions;
};

KelSchemaScan::KelSchemaScan() : impl_(new Impl) {}

KelSchemaScan::~KelSchemaScan() = default;

void KelSchemaScan::startParse() { impl_->definitions.clear(); }

std::string KelSchemaScan::measure(KelCallContext *ctx, const XMLByte *bytes, size_t size, const XMLCh *systemId) {
  Impl &s = *impl_;
  if (s.arena != nullptr && s.arena->pastKeep()) {
    s.reader.reset();
    s.arena.reset();
  }
  if (s.reader == nullptr) {
    s.arena = std::make_unique<KelArena>();
    s.resolver = std::make_unique<KelEntityResolver>(ctx, nullptr);
    s.reader = kelCreateReader(s.arena.get());
    s.reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    s.reader->setFeature(xercesc::XMLUni::fgXercesSchema, false);
    kelSecureReader(*s.reader, s.resolver.get());
  }
  s.resolver->setContext(ctx);
  Scan scan(&s.definitions);
  s.reader->setContentHandler(&scan);
  s.reader->setErrorHandler(&scan);
  std::string refused;
  try {
    xercesc::MemBufInputSource src(bytes, size, systemId, false);
    s.reader->parse(src);
  } catch (const Refused &r) {
    refused = r.why;
  } catch (...) {
    // Left to the parser, which reads as far.
  }
  s.reader->setContentHandler(nullptr);
  s.reader->setErrorHandler(nullptr);
  if (!refused.empty()) return refused;
  if (s.definitions.longestChain() > KEL_SCHEMA_REFERENCE_DEPTH_LIMIT)
    return "its definitions name one another more than " + std::to_string(KEL_SCHEMA_REFERENCE_DEPTH_LIMIT) +
           " levels deep";
  return std::string();
}
