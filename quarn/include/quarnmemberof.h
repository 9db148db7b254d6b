/*
 * quarnmemberof.h - names a private data member of a class of the parser library, whose state
 * the system reads to bound the library's work.  An explicit instantiation may name any member
 * (access is not checked there); QuarnMemberOf's instantiation defines the friend function that
 * returns the pointer to the member:
 *
 *   struct ScannerStack {
 *     using Type = xercesc::ElemStack xercesc::XMLScanner::*;
 *     friend Type member(ScannerStack);
 *   };
 *   template struct QuarnMemberOf<ScannerStack, &xercesc::XMLScanner::fElemStack>;
 *   ... scanner->*member(ScannerStack{}) ...
 */
#ifndef QUARN_QUARNMEMBEROF_H
#define QUARN_QUARNMEMBEROF_H

#ifndef __cplusplus
#error "This header is C++ only: it reaches into the parser library's classes; C programs need none of it."
#endif

template <typename Tag, typename Tag::Type Member>
struct QuarnMemberOf {
  friend typename Tag::Type member(Tag) { return Member; }
};

#endif /* QUARN_QUARNMEMBEROF_H */
