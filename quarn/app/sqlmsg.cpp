/*
 * sqlmsg.cpp - the engine's message texts and sqlaintp_api, which turns a communication area
 * into "SQLnnnnN text  SQLSTATE=xxxxx" cut into lines.  Texts are templates whose &1, &2, ...
 * are replaced by the area's tokens (sqlerrmc, separated by 0xFF).  Stateless and thread-safe.
 */
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "quarnapp.h"

namespace {

struct EngineMessage {
  int sqlcode;
  const char *text;
};

// Sorted by code for the reader only; lookup is linear (the table is small and the path is an
// error path).
constexpr EngineMessage kMessages[] = {
    {100, "No row was found for FETCH, UPDATE or DELETE; or the result of a query is an empty table."},
    {403, "The newly defined alias \"&1\" resolved to the object \"&2\" which is currently undefined."},
    {462, "Routine \"&1\" (specific name \"&2\") has returned a warning SQLSTATE, with diagnostic text \"&3\"."},
    {541, "The referential, primary key, or unique constraint \"&1\" is ignored because it is a duplicate."},
    {-7, "The character \"&1\" following \"&2\" is not valid."},
    {-10, "The string constant beginning \"&1\" does not have an ending string delimiter."},
    {-104, "An unexpected token \"&1\" was found following \"&2\".  Expected tokens may include: \"&3\"."},
    {-107, "The name \"&1\" is too long.  The maximum length is \"&2\"."},
    {-117, "The number of values assigned is not the same as the number of specified or implied columns."},
    {-120, "An aggregate function or an OLAP function is not valid in the context in which it was invoked."},
    {-138, "A numeric argument of a built-in string function is out of range."},
    {-142, "The SQL statement \"&1\" is not supported."},
    {-150, "The target fullselect, view, typed table, materialized query table, or staging table in the INSERT, DELETE, UPDATE, or MERGE statement is a target for which the requested operation is not permitted."},
    {-159, "The statement references \"&1\" which identifies a(n) \"&2\" rather than a(n) \"&3\"."},
    {-171, "The data type, length or value of argument \"&1\" of routine \"&2\" is incorrect."},
    {-180, "The syntax of the string representation of a datetime value is incorrect."},
    {-193, "In an ALTER TABLE statement, the column \"&1\" has been specified as NOT NULL and either the DEFAULT clause was not specified or was specified as DEFAULT NULL."},
    {-203, "A reference to column \"&1\" is ambiguous."},
    {-204, "\"&1\" is an undefined name."},
    {-205, "\"&1\" is not a column of table or view \"&2\"."},
    {-206, "\"&1\" is not valid in the context where it is used."},
    {-208, "The ORDER BY clause is invalid because a column or position is not part of the result table."},
    {-302, "The value of a host variable in the EXECUTE or OPEN statement is too large for its corresponding use."},
    {-304, "A value cannot be assigned to a host variable because the value is not within the range of the host variable's data type."},
    {-305, "The NULL value cannot be assigned to a host variable because no indicator variable is specified."},
    {-312, "Variable \"&1\" is used but is not defined or not usable."},
    {-313, "The number of variables in the EXECUTE statement, the number of variables in the OPEN statement, or the number of arguments in an OPEN statement for a parameterized cursor is not equal to the number of values required."},
    {-350, "Column \"&1\" was implicitly or explicitly referenced in a context in which it cannot be used."},
    {-404, "The SQL statement specifies a string that is too long for column \"&1\"."},
    {-407, "Assignment of a NULL value to a NOT NULL column \"&1\" is not allowed."},
    {-408, "A value is not compatible with the data type of its assignment target.  Target name is \"&1\"."},
    {-412, "Multiple columns are returned from a subquery that is allowed only one column."},
    {-413, "Overflow occurred during numeric data type conversion."},
    {-418, "A statement contains a use of a parameter marker that is not valid."},
    {-420, "Invalid character found in a character string argument of the function \"&1\"."},
    {-421, "The operands of a set operator or a VALUES clause do not have the same number of columns."},
    {-423, "Locator variable \"&1\" does not currently represent any value."},
    {-433, "Value \"&1\" is too long."},
    {-438, "Application raised error or warning with diagnostic text: \"&1\"."},
    {-440, "No authorized routine named \"&1\" of type \"&2\" having compatible arguments was found."},
    {-443, "Routine \"&1\" (specific name \"&2\") has returned an error SQLSTATE with diagnostic text \"&3\"."},
    {-444, "Routine \"&1\" (specific name \"&2\") is implemented with code in library or path \"&3\", function \"&4\" which cannot be accessed.  Reason code: \"&5\"."},
    {-450, "Routine \"&1\" (specific name \"&2\") has returned a result, SQLSTATE, message, or scratchpad which is too long."},
    {-452, "Unable to access the file referenced by host variable \"&1\".  Reason code: \"&2\"."},
    {-454, "The signature provided in the definition for routine \"&1\" matches the signature of some other routine already existing in the schema or for the type."},
    {-456, "The specific name \"&1\" specified in the definition for routine \"&2\" duplicates an existing specific name."},
    {-460, "The alias \"&1\" would refer to itself."},
    {-461, "A value with data type \"&1\" cannot be CAST to type \"&2\"."},
    {-463, "Routine \"&1\" (specific name \"&2\") has returned an invalid SQLSTATE \"&3\" with diagnostic text \"&4\"."},
    {-476, "Reference to routine \"&1\" was made without a signature, but the routine is not unique in its schema."},
    {-478, "DROP or REVOKE on object type \"&1\" cannot be processed because there is an object \"&2\", of type \"&3\", which depends on it."},
    {-501, "The cursor specified in a FETCH statement or CLOSE statement is not open."},
    {-502, "The cursor specified in an OPEN statement is already open."},
    {-517, "Cursor \"&1\" cannot be used because its statement name does not identify a prepared SELECT statement."},
    {-518, "The EXECUTE statement does not identify a valid prepared statement."},
    {-530, "The INSERT or UPDATE value of the FOREIGN KEY \"&1\" is not equal to any value of the parent key of the parent table."},
    {-531, "The parent key in a parent row cannot be updated because it has one or more dependent rows in relationship \"&1\"."},
    {-532, "A parent row cannot be deleted because the relationship \"&1\" restricts the deletion."},
    {-542, "\"&1\" cannot be a column of a primary key or unique key because it can contain null values."},
    {-544, "The check constraint \"&1\" cannot be added because the table contains a row that violates the constraint."},
    {-545, "The requested operation is not allowed because a row does not satisfy the check constraint \"&1\"."},
    {-556, "An attempt to revoke a privilege from \"&1\" was denied because \"&1\" does not hold this privilege."},
    {-573, "A column list specified in the references clause of constraint \"&1\" does not identify a unique constraint of the parent table \"&2\"."},
    {-601, "The name of the object to be created is identical to the existing name \"&1\" of type \"&2\"."},
    {-603, "A unique index cannot be created because the table \"&1\" contains data that would result in duplicate index entries."},
    {-604, "The length, precision, or scale attribute for column, distinct type, structured type, attribute of structured type, function, or type mapping \"&1\" is not valid."},
    {-607, "Operation \"&1\" is not defined for system objects."},
    {-612, "\"&1\" is a duplicate name."},
    {-624, "Table \"&1\" already has a \"&2\" key."},
    {-658, "The object \"&1\" cannot be explicitly dropped or altered."},
    {-667, "The FOREIGN KEY \"&1\" cannot be created because the table contains rows with foreign key values that cannot be found in the parent key of the parent table."},
    {-696, "The definition of a trigger includes an invalid use of correlation name or transition table name \"&1\"."},
    {-680, "Too many columns were specified for a table, view, or table function."},
    {-707, "The name \"&1\" cannot be used because the specified identifier is reserved for system use."},
    {-752, "The connection cannot be changed because the application process has a unit of work in progress."},
    {-797, "The trigger is defined with an unsupported triggered SQL statement \"&1\"."},
    {-803, "One or more values in the INSERT statement, UPDATE statement, or foreign key update caused by a DELETE statement are not valid because the primary key, unique constraint or unique index identified by \"&1\" constrains table \"&2\" from having duplicate values for the index key."},
    {-804, "The application program parameters for the current request are not valid.  Reason code \"&1\"."},
    {-880, "SAVEPOINT \"&1\" does not exist or is invalid in this context."},
    {-881, "A SAVEPOINT with name \"&1\" already exists, but this savepoint name cannot be reused."},
    {-882, "Savepoint does not exist."},
    {-901, "The SQL statement failed because of a non-severe system error.  Subsequent SQL statements can be processed.  (Reason \"&1\".)"},
    {-911, "The current transaction has been rolled back because of a deadlock or timeout.  Reason code \"&1\"."},
    {-968, "The statement failed because a file system is full."},
    {-1001, "\"&1\" is not a valid database name."},
    {-1005, "The database alias \"&1\" already exists in either the local database directory or system database directory."},
    {-1013, "The database alias name or database name \"&1\" could not be found."},
    {-1024, "A database connection does not exist."},
    {-1035, "The database is currently in use."},
    {-1210, "A distinct type on a large object cannot be defined WITH COMPARISONS."},
    {-1216, "Graphic data and graphic functions are not supported for this database."},
};

const char *templateFor(int sqlcode) {
  for (const EngineMessage &m : kMessages)
    if (m.sqlcode == sqlcode) return m.text;
  return nullptr;
}

std::vector<std::string_view> tokensOf(const sqlca &ca) {
  std::vector<std::string_view> tokens;
  int used = ca.sqlerrml;
  if (used < 0) used = 0;
  if (used > SQL_MAX_ERRMC) used = SQL_MAX_ERRMC;
  std::string_view all(ca.sqlerrmc, static_cast<size_t>(used));
  if (all.empty()) return tokens;
  size_t start = 0;
  for (;;) {
    size_t sep = all.find(SQL_TOKEN_SEP, start);
    if (sep == std::string_view::npos) {
      tokens.push_back(all.substr(start));
      break;
    }
    tokens.push_back(all.substr(start, sep - start));
    start = sep + 1;
  }
  return tokens;
}

// Replaces &1..&9 by the tokens; a missing token becomes empty.
std::string expand(const char *tmpl, const std::vector<std::string_view> &tokens) {
  std::string out;
  for (const char *p = tmpl; *p; ++p) {
    if (p[0] == '&' && p[1] >= '1' && p[1] <= '9') {
      size_t i = static_cast<size_t>(p[1] - '1');
      if (i < tokens.size()) out.append(tokens[i]);
      ++p;
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

std::string textOf(const sqlca &ca) {
  char id[16];
  int code = ca.sqlcode < 0 ? -ca.sqlcode : ca.sqlcode;
  std::snprintf(id, sizeof id, "SQL%04d%c", code % 100000, ca.sqlcode < 0 ? 'N' : 'W');
  std::vector<std::string_view> tokens = tokensOf(ca);
  std::string text = id;
  text += ' ';
  if (const char *tmpl = templateFor(ca.sqlcode)) {
    text += expand(tmpl, tokens);
  } else {
    text += "SQLCODE ";
    text += std::to_string(ca.sqlcode);
    text += " was returned.";
    for (size_t i = 0; i < tokens.size(); ++i) {
      text += i == 0 ? "  Tokens: \"" : "\", \"";
      text.append(tokens[i]);
      if (i + 1 == tokens.size()) text += "\".";
    }
  }
  text += "  SQLSTATE=";
  text.append(ca.sqlstate, 5);
  return text;
}

// Cuts text into lines of at most width - 1 characters plus a newline, breaking at the last
// blank of a line where there is one.
std::string wrap(const std::string &text, size_t width) {
  std::string out;
  size_t pos = 0;
  size_t room = width - 1;
  while (pos < text.size()) {
    size_t len = text.size() - pos;
    if (len > room) {
      len = room;
      size_t blank = text.rfind(' ', pos + room);
      if (blank != std::string::npos && blank > pos) len = blank - pos + 1;
    }
    size_t end = pos + len;
    size_t trimmed = end;
    while (trimmed > pos && text[trimmed - 1] == ' ' && end < text.size()) --trimmed;
    out.append(text, pos, trimmed - pos);
    out.push_back('\n');
    pos = end;
  }
  return out;
}

}  // namespace

extern "C" SQL_API_EXPORT int sqlaintp_api(char *pBuffer, short BufferSize, short LineWidth,
                                           const char *pMsgFileName, struct sqlca *pSqlca) {
  (void)pMsgFileName;
  if (pBuffer == nullptr || pSqlca == nullptr || BufferSize < 2 || LineWidth < 2) return -1;
  pBuffer[0] = '\0';
  if (pSqlca->sqlcode == 0) return 0;
  std::string text = wrap(textOf(*pSqlca), static_cast<size_t>(LineWidth));
  size_t n = text.size();
  if (n > static_cast<size_t>(BufferSize) - 1) n = static_cast<size_t>(BufferSize) - 1;
  std::memcpy(pBuffer, text.data(), n);
  pBuffer[n] = '\0';
  return static_cast<int>(n);
}
