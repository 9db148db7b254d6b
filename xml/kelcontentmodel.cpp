/*
 * kelcontentmodel.cpp - measures DTD content models by building, within limits, the automaton a
 * validating parser builds from them: element positions, the positions that may follow each,
 * and the sets of positions reachable by reading one element after another.
 */
#include "kelcontentmodel.h"

#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDGrammar.hpp>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using xercesc::ContentSpecNode;
using Set = std::vector<uint64_t>;

bool unary(ContentSpecNode::NodeTypes t) {
  return t == ContentSpecNode::ZeroOrOne || t == ContentSpecNode::ZeroOrMore || t == ContentSpecNode::OneOrMore;
}
bool binary(ContentSpecNode::NodeTypes t) {
  return t == ContentSpecNode::Choice || t == ContentSpecNode::Sequence;
}

struct SetHash {
  size_t operator()(const Set &s) const {
    uint64_t h = 1469598103934665603ull;
    for (uint64_t w : s) h = (h ^ w) * 1099511628211ull;
    return static_cast<size_t>(h);
  }
};

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
  // post-order walk with an explicit stack.
  Part glushkov() {
    struct Frame {
      const ContentSpecNode *node;
      int visited;
    };
    std::vector<Frame> stack{{root_, 0}};
    std::vector<Part> done;
    while (!stack.empty()) {
      Frame &f = stack.back();
      const ContentSpecNode *node = f.node;
      ContentSpecNode::NodeTypes t = node != nullptr ? node->getType() : ContentSpecNode::UnknownType;
      if (node == nullptr || !(unary(t) || binary(t))) {
        done.push_back(leaf(node));
        stack.pop_back();
        continue;
      }
      if (f.visited == 0) {
        f.visited = 1;
        stack.push_back({node->getFirst(), 0});
        continue;
      }
      if (binary(t) && f.visited == 1) {
        f.visited = 2;
        stack.push_back({node->getSecond(), 0});
        continue;
      }
      stack.pop_back();
      if (unary(t)) {
        Part &c = done.back();
        if (t != ContentSpecNode::ZeroOrOne) followAll(c.last, c.first);
        if (t != ContentSpecNode::OneOrMore) c.nullable = true;
        continue;
      }
      Part right = std::move(done.back());
      done.pop_back();
      Part &left = done.back();
      if (t == ContentSpecNode::Choice) {
        left.nullable = left.nullable || right.nullable;
        orInto(left.first, right.first);
        orInto(left.last, right.last);
        continue;
      }
      followAll(left.last, right.first);
      if (left.nullable) orInto(left.first, right.first);
      if (right.nullable) orInto(right.last, left.last);
      left.last = std::move(right.last);
      left.nullable = left.nullable && right.nullable;
    }
    return done.empty() ? leaf(nullptr) : std::move(done.back());
  }

  // The sets of positions reachable from the start, element by element, within the limits.
  bool automaton(const Set &start, std::string *reason) {
    std::unordered_set<Set, SetHash> seen;
    std::vector<Set> queue;
    std::unordered_map<uint32_t, Set> byName;
    auto enter = [&](const Set &reachable) {
      byName.clear();
      for (size_t w = 0; w < words_; ++w)
        for (uint64_t bits = reachable[w]; bits != 0; bits &= bits - 1) {
          size_t q = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
          Set &s = byName[names_[q]];
          if (s.empty()) s.assign(words_, 0);
          s[w] |= uint64_t{1} << (q % 64);
        }
      for (auto &entry : byName)
        if (seen.insert(entry.second).second) queue.push_back(std::move(entry.second));
    };
    size_t states = 1;  // the start
    enter(start);
    Set reachable(words_);
    while (!queue.empty()) {
      Set state = std::move(queue.back());
      queue.pop_back();
      if (++states > KEL_MODEL_STATE_LIMIT || budget_->states + states > KEL_MODEL_TOTAL_STATE_LIMIT) {
        *reason = "its automaton has more than " +
                  std::to_string(states > KEL_MODEL_STATE_LIMIT ? KEL_MODEL_STATE_LIMIT : KEL_MODEL_TOTAL_STATE_LIMIT) +
                  " states";
        return false;
      }
      std::fill(reachable.begin(), reachable.end(), 0);
      for (size_t w = 0; w < words_; ++w)
        for (uint64_t bits = state[w]; bits != 0; bits &= bits - 1) {
          orInto(reachable, follow_[w * 64 + static_cast<size_t>(__builtin_ctzll(bits))]);
          budget_->work += words_ + 1;
        }
      if (budget_->work > KEL_MODEL_WORK_LIMIT) {
        *reason = "its automaton takes too long to build";
        return false;
      }
      enter(reachable);
    }
    budget_->states += states;
    return true;
  }

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
