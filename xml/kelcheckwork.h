/*
 * kelcheckwork.h - the cost of the checks a validating parse makes by searching a list, counted
 * as the document is read.
 *
 * The parser library checks a child of a mixed-content element against the names of its model
 * "(#PCDATA|a|b|...)*", a value of an enumerated attribute against the values its declaration
 * lists, and an element's or attribute's value of a schema type with enumeration facets
 * against those values, one by one.  A grammar comes from the user (the validate functions'
 * argument, DTD_REF, a document's internal subset, a schema), so a list of 20,000 names checked
 * for each of 40,000 elements (1 MB) took 12 seconds in every validation of the document.  A
 * validating reader counts, at each start tag, the entries of the lists its element and
 * attributes are checked against; a parse may have KEL_CHECK_FREE of them plus
 * KEL_CHECK_PER_ELEMENT for each element read, and ends with KELQ047E at the element past that.
 */
#ifndef KEL_CHECKWORK_H
#define KEL_CHECKWORK_H

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/util/RefVectorOf.hpp>
#include <xercesc/validators/datatype/DatatypeValidator.hpp>

#include <cstdint>
#include <unordered_map>
#include <vector>

inline constexpr uint64_t KEL_CHECK_PER_ELEMENT = 1024;
inline constexpr uint64_t KEL_CHECK_FREE = uint64_t{16} << 20;

class KelCheckWork {
 public:
  // A new document; validating tells whether its checks are made at all.
  void reset(bool validating);
  // A start tag of decl with its attributes; throws the parse refusal past the allowance.
  void element(const xercesc::XMLElementDecl &decl, const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs,
               XMLSize_t count, bool isEmpty);
  // The end tag of the element last started and not ended.
  void end();

 private:
  uint32_t mixedNames(const xercesc::XMLElementDecl *parent);
  uint32_t attributeValues(const xercesc::XMLElementDecl &decl, const xercesc::XMLAttr &attr);
  uint32_t typeValues(const xercesc::DatatypeValidator *type);

  bool validating_ = false;
  uint64_t elements_ = 0;
  uint64_t work_ = 0;
  std::vector<const xercesc::XMLElementDecl *> open_;  // the elements open, innermost last
  // What each list costs, found once per document (the grammar does not change while it is read).
  std::unordered_map<const void *, uint32_t> entries_;
};

#endif /* KEL_CHECKWORK_H */
