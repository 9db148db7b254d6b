/*
 * kelpath.h - location paths: a path such as /order/item[@kind="book"]/price, //price or
 * /order/@id compiled into a KelQuery, and the stack of open elements of a SAX parse
 * (KelCurrentPath) that the query is matched against at every element start and end.
 *
 * All text is UTF-16.  A KelQuery keeps its own copy of the path text.  Objects belong to one
 * parse on one thread.
 */
#ifndef KEL_PATH_H
#define KEL_PATH_H

#include <xercesc/sax2/Attributes.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelSgDocHandler.h"

struct KelCallContext;

enum KelMatch { NO_MATCH = 0, PENDING = 1, MATCHED = 2 };

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
  explicit KelPathNode(KelCallContext *ctx) : attrs_(ctx) {}
  std::u16string name_;
  KelAttrs attrs_;
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
  // Appends an element; attrs may be null (no attributes are kept).
  void push(const XMLCh *name, const xercesc::Attributes *attrs);
  /*
   * Appends an element whose name and attributes will never be read (inside a subtree that
   * cannot match): only the depth counts.  Not for a path that keeps its text form.
   */
  void pushUnnamed();
  // Removes the deepest element.
  void pop();
  // Removes every element (storage is kept for the next parse).
  void clear() {
    depth_ = 0;
    text_.clear();
  }
  size_t size() const { return depth_; }
  bool empty() const { return depth_ == 0; }
  const KelPathNode *node(size_t i) const { return nodes_[i].get(); }
  const KelPathNode *first() const { return depth_ ? nodes_[0].get() : nullptr; }
  const KelPathNode *last() const { return depth_ ? nodes_[depth_ - 1].get() : nullptr; }

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
  void growFor(size_t extraChars, bool blank);
  KelCallContext *ctx_;
  bool keepText_;
  std::vector<std::unique_ptr<KelPathNode>> nodes_;
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

  KelMatch isMatched(const KelCurrentPath &path) const;
  // True when a step tests an attribute: only then does matching read the path's attributes.
  bool hasPredicates() const { return hasPredicates_; }

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

 private:
  bool checkName(const XMLCh *name);
  int offsetOf(const XMLCh *p) const { return static_cast<int>(p - buf_.data()); }

  KelCallContext *ctx_;
  std::u16string buf_;   // the path text, with terminators written into it
  int errorPosition_ = 0;
  int targetKind_ = KEL_TARGET_TEXT;
  bool hasTargetAttr_ = false;
  bool hasPredicates_ = false;
  std::u16string targetAttr_;
  std::vector<StepTest> head_;
  std::vector<std::vector<StepTest>> middle_;
  std::vector<StepTest> tail_;
};

#endif /* KEL_PATH_H */
