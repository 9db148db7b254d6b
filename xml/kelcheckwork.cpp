/*
 * kelcheckwork.cpp - the cost of a validating parse's list searches (see kelcheckwork.h).
 */
#include "kelcheckwork.h"

#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/common/ContentSpecNode.hpp>
#include <xercesc/validators/datatype/DatatypeValidator.hpp>
#include <xercesc/validators/schema/SchemaAttDef.hpp>
#include <xercesc/validators/schema/SchemaElementDecl.hpp>

#include <string>
#include <vector>

#include "kelentity.h"

using xercesc::XMLElementDecl;

namespace {

// The values of a simple type's enumeration facet.
uint32_t enumerated(const xercesc::DatatypeValidator *type) {
  if (type == nullptr) return 0;
  const xercesc::RefArrayVectorOf<XMLCh> *values = type->getEnumString();
  return values != nullptr ? static_cast<uint32_t>(values->size()) : 0;
}

// The values a DTD attribute's enumeration lists ("a b c").
uint32_t listed(const XMLCh *values) {
  uint32_t n = 0;
  bool inValue = false;
  for (const XMLCh *p = values; p != nullptr && *p != 0; ++p) {
    const bool blank = *p == u' ';
    if (!blank && !inValue) ++n;
    inValue = !blank;
  }
  return n;
}

// The names a mixed model lists besides #PCDATA (the leaves of its tree).
uint32_t mixedNamesOf(const xercesc::ContentSpecNode *model) {
  uint32_t leaves = 0;
  std::vector<const xercesc::ContentSpecNode *> pending;
  if (model != nullptr) pending.push_back(model);
  while (!pending.empty()) {
    const xercesc::ContentSpecNode *node = pending.back();
    pending.pop_back();
    if (node->getType() == xercesc::ContentSpecNode::Leaf) ++leaves;
    if (node->getFirst() != nullptr) pending.push_back(node->getFirst());
    if (node->getSecond() != nullptr) pending.push_back(node->getSecond());
  }
  return leaves > 0 ? leaves - 1 : 0;
}

}  // namespace

void KelCheckWork::reset(bool validating) {
  validating_ = validating;
  elements_ = 0;
  work_ = 0;
  open_.clear();
  entries_.clear();
}

uint32_t KelCheckWork::mixedNames(const XMLElementDecl *parent) {
  if (parent == nullptr || parent->getObjectType() != XMLElementDecl::DTD) return 0;
  const auto *dtd = static_cast<const xercesc::DTDElementDecl *>(parent);
  if (dtd->getModelType() != xercesc::DTDElementDecl::Mixed_Simple) return 0;
  auto found = entries_.find(parent);
  if (found != entries_.end()) return found->second;
  return entries_.emplace(parent, mixedNamesOf(dtd->getContentSpec())).first->second;
}

uint32_t KelCheckWork::attributeValues(const XMLElementDecl &decl, const xercesc::XMLAttr &attr) {
  if (decl.getObjectType() == XMLElementDecl::DTD) {
    const xercesc::XMLAttDef::AttTypes type = attr.getType();
    if (type != xercesc::XMLAttDef::Enumeration && type != xercesc::XMLAttDef::Notation) return 0;
    const xercesc::DTDAttDef *def = static_cast<const xercesc::DTDElementDecl &>(decl).getAttDef(attr.getName());
    if (def == nullptr) return 0;
    auto found = entries_.find(def);
    if (found != entries_.end()) return found->second;
    return entries_.emplace(def, listed(def->getEnumeration())).first->second;
  }
  if (decl.getObjectType() != XMLElementDecl::Schema) return 0;
  const xercesc::SchemaAttDef *def = static_cast<const xercesc::SchemaElementDecl &>(decl).getAttDef(
      attr.getAttName()->getLocalPart(), static_cast<int>(attr.getURIId()));
  return def != nullptr ? typeValues(def->getDatatypeValidator()) : 0;
}

uint32_t KelCheckWork::typeValues(const xercesc::DatatypeValidator *type) {
  if (type == nullptr) return 0;
  auto found = entries_.find(type);
  if (found != entries_.end()) return found->second;
  return entries_.emplace(type, enumerated(type)).first->second;
}

void KelCheckWork::element(const XMLElementDecl &decl, const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs,
                           XMLSize_t count, bool isEmpty) {
  if (!validating_) return;
  ++elements_;
  work_ += mixedNames(open_.empty() ? nullptr : open_.back());
  if (decl.getObjectType() == XMLElementDecl::Schema)
    work_ += typeValues(static_cast<const xercesc::SchemaElementDecl &>(decl).getDatatypeValidator());
  if (decl.hasAttDefs())
    for (XMLSize_t i = 0; i < count; ++i) work_ += attributeValues(decl, *attrs.elementAt(i));
  if (!isEmpty) open_.push_back(&decl);
  if (work_ > KEL_CHECK_FREE + elements_ * KEL_CHECK_PER_ELEMENT)
    kelRefuseParse("the grammar's lists take too long to check: more than " + std::to_string(KEL_CHECK_PER_ELEMENT) +
                   " names or values for each element read on average (mixed content, enumerations)");
}

void KelCheckWork::end() {
  if (validating_ && !open_.empty()) open_.pop_back();
}
