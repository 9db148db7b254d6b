/*
 * kelregister.h - the registration statements of the distinct types and user-defined
 * functions that database enablement creates (statements 0 to 76 and 90 to 124 of its list),
 * generated from the tables in kelregister.cpp so that each name, signature, specific name and
 * entry is written once.  Constant after the first call; safe from any thread.
 */
#ifndef KEL_REGISTER_H
#define KEL_REGISTER_H

#include <string>
#include <vector>

struct KelNumberedStatement {
  int number;        // the statement's number in the enablement list
  std::string text;
};

// The statements of the enablement list that register types and functions, in list order.
const std::vector<KelNumberedStatement> &kelFunctionRegistrations();

#endif /* KEL_REGISTER_H */
