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

// What a registration is, as the migration command selects its lists by it.  A registration
// appended later without a group of its own is KEL_REG_APPENDED, which migration registers in
// its last step, so whatever is appended to enablement follows into migration by itself.
enum KelRegGroup {
  KEL_REG_APPENDED = 0,   // appended after the procedures (validateschema, explainPath, ...)
  KEL_REG_SETUP,          // the function path (statement 0)
  KEL_REG_TYPE,           // the distinct types XMLVarchar, XMLCLOB, XMLFile
  KEL_REG_STORAGE,        // storage and Content functions
  KEL_REG_EXTRACT,        // extraction functions, scalar and table
  KEL_REG_UPDATE,         // update over the three sources
  KEL_REG_VALIDATE,       // validate with a DTD file name
  KEL_REG_CAST,           // VARCHARTOVARCHAR
  KEL_REG_SEQNO,          // seqno
  KEL_REG_DTD_EXTRACT,    // extraction with a DTD argument (the WDTD and sDTD families)
  KEL_REG_DTD_VALIDATE,   // validate with the DTD as XMLCLOB
  KEL_REG_PROCEDURE,      // the fifteen stored procedures 125 to 139
  KEL_REG_DOUBLE_BYTE,    // the double-byte list
};

struct KelNumberedStatement {
  int number;        // the statement's number in the enablement list
  std::string text;
  std::string drop;  // the statement that removes the object again; empty when disabling
                     // does not drop it by a statement of its own (statements 0, 1, 2)
  KelRegGroup group = KEL_REG_APPENDED;
  std::string name;      // the routine or type name as written in text ("" for statement 0)
  std::string specific;  // the specific name as written, "" when the registration has none
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

/*
 * Registrations as earlier levels of the system wrote them, kept beside the current ones so
 * that the migration command can recognise and replace them.  Each is made from the same rows
 * as the current registration with the one parameter or result that differed.
 *   KEL_OLD_OVERRIDE_1024  kelGenXML and kelRetrieveXML (both signatures each, specific names
 *                          KELGENXML1, KELGENXML2, KELRETRIEVEXML1, KELRETRIEVEXML2) with
 *                          override varchar(1024)
 *   KEL_OLD_RESULT_DOC_2G  kelGenXMLClob and kelRetrieveXMLClob with resultDoc clob(2G)
 *   KEL_OLD_XMLVARCHAR     the functions returning XMLVarchar without the cast from
 *                          varchar(32672) (XMLVarcharFromFile, update over XMLVarchar) and
 *                          VARCHARTOVARCHAR returning varchar(3000)
 */
enum KelOldForm { KEL_OLD_OVERRIDE_1024, KEL_OLD_RESULT_DOC_2G, KEL_OLD_XMLVARCHAR };
const std::vector<KelNumberedStatement> &kelOldRegistrations(KelOldForm form);

// True when a storage function of the current table (by specific name) was registered by the
// previous level already; the others (the forms with an encoding argument) came with it.
bool kelStorageInPreviousLevel(const std::string &specific);

#endif /* KEL_REGISTER_H */
