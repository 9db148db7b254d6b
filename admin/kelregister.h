/*
 * kelregister.h - the registration statements of the distinct types, user-defined functions
 * and stored procedures that database enablement creates (statements 0 to 76, 90 to 124 and
 * 140 to 154 of its list: functions; 125 to 139 and from 155 on: procedures; and the
 * double-byte list), each with the statement that removes it again, generated from the tables
 * in kelregister.cpp so that each name, signature, specific name and entry is written once.
 * Constant after the first call; safe from any thread.
 */
#ifndef KEL_REGISTER_H
#define KEL_REGISTER_H

#include <string>
#include <vector>

struct KelNumberedStatement {
  int number;        // the statement's number in the enablement list
  std::string text;
  std::string drop;  // the statement that removes the object again; empty when disabling
                     // does not drop it by a statement of its own (statements 0, 1, 2)
};

// The statements of the enablement list that register types and functions, in number order
// (0 to 76, 90 to 124, then 140 to 145, which the list runs after the procedures).
const std::vector<KelNumberedStatement> &kelFunctionRegistrations();

// The number of the first procedure appended after the function registrations 140 to 154.
inline constexpr int KEL_FIRST_APPENDED_PROCEDURE = 155;

// The stored procedures of the enablement list (125 to 139, then the appended ones from
// KEL_FIRST_APPENDED_PROCEDURE on), in list order.
const std::vector<KelNumberedStatement> &kelProcedureRegistrations();

// The double-byte list (0 to 16): the distinct type XMLDBCLOB and its functions.
const std::vector<KelNumberedStatement> &kelDoubleByteRegistrations();

#endif /* KEL_REGISTER_H */
