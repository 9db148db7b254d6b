/*
 * kelcontentmodel.cpp - measures DTD content models by building, within limits, the automaton a
 * validating parser builds from them: element positions, the positions that may follow each,
 * and the sets of positions reachable by reading one element after another.
 */
#include "kelcontentmodel.h"

#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDGrammar.hpp>
#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/schema/SchemaGrammar.hpp>
#include <xercesc/validators/schema/SchemaElementDecl.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quarnmemberof.h"

namespace {

using xercesc::ContentSpecNode;
using Set = std::vector<uint64_t>;

bool unary(ContentSpecNode::NodeTypes t) {
  return t == ContentSpecNode::ZeroOrOne || t == ContentSpecNode::ZeroOrMore || t == ContentSpecNode::OneOrMore;
}
bool binary(ContentSpecNode::NodeTypes t) {
  return t == ContentSpecNode::Choice || t == ContentSpecNode::Sequence;
}

// Folds a tree of the scanner's nodes bottom-up without recursion (models nest thousands deep):
// combine(node, first, second) gets what its children folded to, null for a missing child, and
// may take it over.  root is not null.
template <class T, class Combine>
T foldTree(const ContentSpecNode *root, Combine combine) {
  struct Frame {
    const ContentSpecNode *node;
    int visited;
  };
  std::vector<Frame> stack{{root, 0}};
  std::vector<std::optional<T>> done;
  while (!stack.empty()) {
    Frame &f = stack.back();
    if (f.node == nullptr) {
      done.emplace_back();
      stack.pop_back();
    } else if (f.visited < 2) {
      const ContentSpecNode *child = f.visited == 0 ? f.node->getFirst() : f.node->getSecond();
      ++f.visited;
      stack.push_back({child, 0});
    } else {
      std::optional<T> second = std::move(done.back());
      done.pop_back();
      std::optional<T> first = std::move(done.back());
      done.back().emplace(combine(f.node, first ? &*first : nullptr, second ? &*second : nullptr));
      stack.pop_back();
    }
  }
  return std::move(*done.back());
}

void orInto(Set &to, const Set &from) {
  for (size_t i = 0; i < to.size(); ++i) to[i] |= from[i];
}

// What the tree gives for one node: whether it may match nothing, its first and last positions.
struct Part {
  bool nullable = false;
  Set first, last;
};

class Model {
 public:
  Model(const ContentSpecNode *root, KelModelBudget *budget) : root_(root), budget_(budget) {}

  bool measure(std::string *reason) {
    if (!number(reason)) return false;
    words_ = (names_.size() + 63) / 64;
    follow_.assign(names_.size(), Set(words_, 0));
    Part whole = glushkov();
    return automaton(whole.first, reason);
  }

 private:
  // Numbers the leaves in document order and checks the tree's depth, without recursion.
  bool number(std::string *reason) {
    std::vector<std::pair<const ContentSpecNode *, size_t>> stack{{root_, 1}};
    std::unordered_map<std::u16string, uint32_t> ids;
    while (!stack.empty()) {
      auto [node, depth] = stack.back();
      stack.pop_back();
      if (node == nullptr) continue;
      if (depth > KEL_MODEL_DEPTH_LIMIT) {
        *reason = "its groups nest more than " + std::to_string(KEL_MODEL_DEPTH_LIMIT) + " deep";
        return false;
      }
      ContentSpecNode::NodeTypes t = node->getType();
      if (t == ContentSpecNode::Leaf) {
        if (names_.size() >= KEL_MODEL_POSITION_LIMIT) {
          *reason = "it names more than " + std::to_string(KEL_MODEL_POSITION_LIMIT) + " elements";
          return false;
        }
        const xercesc::QName *q = node->getElement();
        const XMLCh *raw = q != nullptr ? q->getRawName() : nullptr;
        std::u16string name = raw != nullptr ? std::u16string(raw) : std::u16string();
        leaves_.emplace(node, static_cast<uint32_t>(names_.size()));
        names_.push_back(ids.emplace(name, static_cast<uint32_t>(ids.size())).first->second);
        continue;
      }
      // Second pushed first: leaves are numbered left to right.
      stack.emplace_back(node->getSecond(), depth + 1);
      stack.emplace_back(node->getFirst(), depth + 1);
    }
    return true;
  }

  Part leaf(const ContentSpecNode *node) const {
    Part p;
    p.first.assign(words_, 0);
    p.last.assign(words_, 0);
    auto it = leaves_.find(node);
    if (it != leaves_.end()) {
      p.first[it->second / 64] |= uint64_t{1} << (it->second % 64);
      p.last = p.first;
    } else {
      p.nullable = true;  // a node without element positions
    }
    return p;
  }

  void followAll(const Set &from, const Set &to) {
    for (size_t w = 0; w < words_; ++w)
      for (uint64_t bits = from[w]; bits != 0; bits &= bits - 1)
        orInto(follow_[w * 64 + static_cast<size_t>(__builtin_ctzll(bits))], to);
  }

  // Nullable, first and last of the whole tree, and every position's followers, in one
  // post-order walk.
  Part glushkov() {
    if (root_ == nullptr) return leaf(nullptr);
    return foldTree<Part>(root_, [this](const ContentSpecNode *node, Part *first, Part *second) {
      const ContentSpecNode::NodeTypes t = node->getType();
      if (!(unary(t) || binary(t))) return leaf(node);
      Part left = first != nullptr ? std::move(*first) : leaf(nullptr);
      if (unary(t)) {
        if (t != ContentSpecNode::ZeroOrOne) followAll(left.last, left.first);
        if (t != ContentSpecNode::OneOrMore) left.nullable = true;
        return left;
      }
      Part right = second != nullptr ? std::move(*second) : leaf(nullptr);
      if (t == ContentSpecNode::Choice) {
        left.nullable = left.nullable || right.nullable;
        orInto(left.first, right.first);
        orInto(left.last, right.last);
        return left;
      }
      followAll(left.last, right.first);
      if (left.nullable) orInto(left.first, right.first);
      if (right.nullable) orInto(right.last, left.last);
      left.last = std::move(right.last);
      left.nullable = left.nullable && right.nullable;
      return left;
    });
  }

  /*
   * The sets of positions reachable from the start, element by element, within the limits.  A
   * state is kept as its sorted positions in one arena; its successors are found by taking the
   * union of its positions' followers and splitting it by element name.
   */
  bool automaton(const Set &start, std::string *reason) {
    std::vector<uint32_t> arena;                       // every state's positions, one after another
    std::vector<std::pair<size_t, size_t>> spans;      // a state's offset and count in the arena
    std::unordered_map<uint64_t, std::vector<uint32_t>> byHash;  // state numbers by their hash
    std::vector<std::vector<uint32_t>> buckets(names_.size());   // positions by element name
    std::vector<uint32_t> touched;
    auto hashOf = [](const uint32_t *p, size_t n) {
      uint64_t h = 1469598103934665603ull ^ n;
      for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
      return h;
    };
    auto enter = [&](const Set &reachable) {
      touched.clear();
      for (size_t w = 0; w < words_; ++w)
        for (uint64_t bits = reachable[w]; bits != 0; bits &= bits - 1) {
          uint32_t q = static_cast<uint32_t>(w * 64 + static_cast<size_t>(__builtin_ctzll(bits)));
          std::vector<uint32_t> &bucket = buckets[names_[q]];
          if (bucket.empty()) touched.push_back(names_[q]);
          bucket.push_back(q);
          ++budget_->work;
        }
      for (uint32_t name : touched) {
        std::vector<uint32_t> &bucket = buckets[name];
        std::vector<uint32_t> &same = byHash[hashOf(bucket.data(), bucket.size())];
        bool known = false;
        for (uint32_t id : same) {
          const auto &[at, n] = spans[id];
          if (n == bucket.size() && std::equal(bucket.begin(), bucket.end(), arena.begin() + static_cast<std::ptrdiff_t>(at))) {
            known = true;
            break;
          }
        }
        if (!known) {
          same.push_back(static_cast<uint32_t>(spans.size()));
          spans.emplace_back(arena.size(), bucket.size());
          arena.insert(arena.end(), bucket.begin(), bucket.end());
        }
        bucket.clear();
      }
    };
    enter(start);
    Set reachable(words_);
    // The start, then each state found, in the order found.
    for (size_t next = 0; next < spans.size(); ++next) {
      const size_t states = next + 2;
      if (states > KEL_MODEL_STATE_LIMIT) {
        *reason = "its automaton has more than " + std::to_string(KEL_MODEL_STATE_LIMIT) + " states";
        return false;
      }
      if (budget_->extraStates + extra(states) > KEL_MODEL_TOTAL_EXTRA_STATE_LIMIT) {
        *reason = "the automata of the DTD have more than " + std::to_string(KEL_MODEL_TOTAL_EXTRA_STATE_LIMIT) +
                  " states beyond one per position";
        return false;
      }
      std::fill(reachable.begin(), reachable.end(), 0);
      const auto [at, n] = spans[next];
      for (size_t i = 0; i < n; ++i) orInto(reachable, follow_[arena[at + i]]);
      budget_->work += n * words_;
      if (budget_->work > KEL_MODEL_WORK_LIMIT) {
        *reason = "its automaton takes too long to build";
        return false;
      }
      enter(reachable);
    }
    budget_->extraStates += extra(spans.size() + 1);
    return true;
  }

  // States beyond the one per position (and the start) of a deterministic model.
  size_t extra(size_t states) const { return states > names_.size() + 1 ? states - names_.size() - 1 : 0; }

  const ContentSpecNode *root_;
  KelModelBudget *budget_;
  std::unordered_map<const ContentSpecNode *, uint32_t> leaves_;
  std::vector<uint32_t> names_;  // position -> element name id
  size_t words_ = 0;
  std::vector<Set> follow_;
};

}  // namespace

bool kelMeasureContentModel(const ContentSpecNode *model, KelModelBudget *budget, std::string *reason) {
  if (model == nullptr) return true;
  return Model(model, budget).measure(reason);
}

bool kelMeasureContentModels(const xercesc::Grammar *dtdGrammar, const XMLCh **element, std::string *reason) {
  if (dtdGrammar == nullptr || dtdGrammar->getGrammarType() != xercesc::Grammar::DTDGrammarType) return true;
  const auto *grammar = static_cast<const xercesc::DTDGrammar *>(dtdGrammar);
  KelModelBudget budget;
  xercesc::NameIdPoolEnumerator<xercesc::DTDElementDecl> decls = grammar->getElemEnumerator();
  while (decls.hasMoreElements()) {
    const xercesc::DTDElementDecl &decl = decls.nextElement();
    if (decl.getModelType() != xercesc::DTDElementDecl::Children) continue;
    if (!kelMeasureContentModel(decl.getContentSpec(), &budget, reason)) {
      *element = decl.getFullName();
      return false;
    }
  }
  return true;
}

namespace {

bool leafLike(int t) {
  const int base = t & 0x0f;
  return t == ContentSpecNode::Leaf || base == ContentSpecNode::Any || base == ContentSpecNode::Any_Other ||
         base == ContentSpecNode::Any_NS;
}
bool modelGroup(int t) {
  const int base = t & 0x0f;
  return base == ContentSpecNode::Choice || base == ContentSpecNode::Sequence;
}
bool once(const ContentSpecNode *n) { return n->getMinOccurs() == 1 && n->getMaxOccurs() == 1; }

// Whether the parser may count an element or wildcard repeated alone instead of writing it out:
// only when no group of the model repeats anything but one such particle.
bool countsRepeats(const ContentSpecNode *model) {
  return foldTree<bool>(model, [](const ContentSpecNode *n, const bool *first, const bool *second) {
    if (!modelGroup(n->getType())) return true;
    if (!once(n)) {
      const ContentSpecNode *a = n->getFirst();
      if (a != nullptr && n->getSecond() == nullptr) return leafLike(a->getType()) && once(a);
      return a == nullptr && n->getSecond() == nullptr;
    }
    return (first == nullptr || *first) && (second == nullptr || *second);
  });
}

// Positions and nesting of a particle once written out; both saturate far above any limit.
struct Written {
  uint64_t positions = 0;
  uint64_t depth = 0;
};
constexpr uint64_t kSaturated = uint64_t{1} << 40;

uint64_t times(uint64_t a, uint64_t b) {
  return a != 0 && b > kSaturated / a ? kSaturated : a * b;
}

// Applies a particle's occurrences as the parser writes them out: a hundred copies of a group
// repeated a hundred times, in a chain of a hundred nodes.
Written repeat(Written w, int minOccurs, int maxOccurs, bool counted) {
  if (minOccurs == 1 && maxOccurs == 1) return w;
  if ((minOccurs == 0 && (maxOccurs == 1 || maxOccurs == -1)) || (minOccurs == 1 && maxOccurs == -1)) {
    w.depth += 1;
    return w;
  }
  if (counted) {
    w.depth += 2;
    return w;
  }
  const uint64_t copies = maxOccurs == -1 ? static_cast<uint64_t>(std::max(minOccurs, 1))
                                          : static_cast<uint64_t>(std::max(maxOccurs, 1));
  w.positions = times(w.positions, copies);
  w.depth = std::min(w.depth + copies, kSaturated);
  return w;
}

}  // namespace

bool kelMeasureSchemaModel(const ContentSpecNode *model, KelModelBudget *budget, std::string *reason) {
  if (model == nullptr) return true;
  const bool counted = countsRepeats(model);
  const Written w = foldTree<Written>(model, [counted](const ContentSpecNode *n, const Written *first,
                                                      const Written *second) {
    const int t = n->getType();
    if (leafLike(t)) return repeat(Written{1, 1}, n->getMinOccurs(), n->getMaxOccurs(), counted);
    Written sum;
    if (first != nullptr) sum = *first;
    if (second != nullptr) {
      sum.positions = std::min(sum.positions + second->positions, kSaturated);
      sum.depth = std::max(sum.depth, second->depth);
    }
    if (!modelGroup(t) && t != ContentSpecNode::All) {
      sum.depth += 1;
      return sum;
    }
    if (n->getFirst() != nullptr && n->getSecond() == nullptr) {
      // The group goes; its occurrences apply to its one particle as written out.
      const ContentSpecNode *a = n->getFirst();
      return repeat(sum, n->getMinOccurs(), n->getMaxOccurs(), counted && leafLike(a->getType()) && once(a));
    }
    sum.depth += 1;
    return repeat(sum, n->getMinOccurs(), n->getMaxOccurs(), false);
  });
  if (w.positions > KEL_MODEL_POSITION_LIMIT) {
    *reason = "it has more than " + std::to_string(KEL_MODEL_POSITION_LIMIT) +
              " element positions once its occurrences are written out";
    return false;
  }
  if (w.depth > KEL_MODEL_DEPTH_LIMIT) {
    *reason = "its particles nest more than " + std::to_string(KEL_MODEL_DEPTH_LIMIT) +
              " deep once its occurrences are written out";
    return false;
  }
  // A walk through a table that has outgrown the processor's caches costs more for each
  // declaration: a pair beside 22,000 declarations took 27 times one beside 2,000.
  const uint64_t walk = std::min<uint64_t>(budget->lookupWalk, uint64_t{1} << 20);
  budget->work += w.positions * w.positions * (KEL_SCHEMA_PAIR_COST + walk + walk * walk / 64);
  if (budget->work > KEL_SCHEMA_MODEL_WORK_LIMIT) {
    *reason = "the automata of the schema take too long to build";
    return false;
  }
  return true;
}

// The grammar's table of element declarations, and that of the declarations made inside named
// groups, which a lookup searches after missing in the first.
struct ElementDecls {
  using Type = xercesc::RefHash3KeysIdPool<xercesc::SchemaElementDecl> *xercesc::SchemaGrammar::*;
  friend Type member(ElementDecls);
};
struct GroupElementDecls {
  using Type = xercesc::RefHash3KeysIdPool<xercesc::SchemaElementDecl> *xercesc::SchemaGrammar::*;
  friend Type member(GroupElementDecls);
};
template struct QuarnMemberOf<ElementDecls, &xercesc::SchemaGrammar::fElemDeclPool>;
template struct QuarnMemberOf<GroupElementDecls, &xercesc::SchemaGrammar::fGroupElemDeclPool>;

namespace {

// Declarations in one slot of pool, on average (a missed lookup walks a whole slot).
uint64_t slotLength(xercesc::RefHash3KeysIdPool<xercesc::SchemaElementDecl> *pool) {
  if (pool == nullptr || pool->getHashModulus() == 0) return 0;
  xercesc::RefHash3KeysIdPoolEnumerator<xercesc::SchemaElementDecl> each(pool, false);
  return each.size() / pool->getHashModulus();
}

}  // namespace

uint64_t kelSchemaLookupWalk(const xercesc::SchemaGrammar *grammar) {
  if (grammar == nullptr) return 0;
  auto *writable = const_cast<xercesc::SchemaGrammar *>(grammar);  // the enumerators want it so
  const uint64_t walk =
      slotLength(writable->*member(ElementDecls{})) + slotLength(writable->*member(GroupElementDecls{}));
  xercesc::RefHash3KeysIdPoolEnumerator<xercesc::SchemaElementDecl> each = writable->getElemEnumerator();
  // The longest chain of substitution groups, each declaration's found once.
  std::unordered_map<const xercesc::SchemaElementDecl *, uint64_t> chain;
  std::vector<const xercesc::SchemaElementDecl *> path;
  uint64_t longest = 0;
  const uint64_t decls = each.size();
  while (each.hasMoreElements()) {
    path.clear();
    const xercesc::SchemaElementDecl *d = &each.nextElement();
    uint64_t above = 0;
    while (d != nullptr && path.size() <= decls) {
      auto found = chain.find(d);
      if (found != chain.end()) {
        above = found->second;
        break;
      }
      path.push_back(d);
      d = d->getSubstitutionGroupElem();
    }
    for (auto p = path.rbegin(); p != path.rend(); ++p) chain[*p] = ++above;
    longest = std::max(longest, above);
  }
  return walk + (longest > 0 ? longest - 1 : 0);  // a declaration's own group is the first step
}

bool kelMeasureSchemaModels(const xercesc::SchemaGrammar *grammar, KelModelBudget *budget, const XMLCh **type,
                            std::string *reason) {
  xercesc::RefHashTableOf<xercesc::ComplexTypeInfo> *types = grammar != nullptr ? grammar->getComplexTypeRegistry() : nullptr;
  if (types == nullptr) return true;
  budget->lookupWalk = std::max(budget->lookupWalk, kelSchemaLookupWalk(grammar));
  xercesc::RefHashTableOfEnumerator<xercesc::ComplexTypeInfo> each(types, false);
  while (each.hasMoreElements()) {
    const xercesc::ComplexTypeInfo &info = each.nextElement();
    if (!kelMeasureSchemaModel(info.getContentSpec(), budget, reason)) {
      *type = info.getTypeLocalName();
      return false;
    }
  }
  return true;
}
