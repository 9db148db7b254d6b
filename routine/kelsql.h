/*
 * kelsql.h - SQL text helpers: the tokenizer of SQL identifiers, literals and operators, the
 * parsers of (qualified) names built on it, delimited-identifier quoting, query clean-up, the
 * text of the catalogue queries, type-name and timestamp normalisation, and the locations of
 * the bind lists.  The catalogue statements themselves are in kelcatalog.h.  Used by the collection, composition, decomposition and enablement routines
 * whenever they build SQL text or read names out of a DAD.
 *
 * Every SQL text that the extension builds from a name quotes it with kelQuoteIdentifier (or
 * binds it as a parameter marker); nothing here ever pastes a name or value into SQL unquoted.
 *
 * All functions work on the caller's buffers only and are safe to call from several calls at
 * once.  Identifier texts are converted to the database code page of the call context; without
 * a context (or before its code pages are set up) the database code page is taken to be UTF-8,
 * the engine's only database code page.
 */
#ifndef KEL_SQL_H
#define KEL_SQL_H

#include <unicode/utypes.h>

#include <cstdint>

struct KelCallContext;

// Token classes of kelGetSqlToken.
inline constexpr int KEL_TOK_END = 1;            // end of the text
inline constexpr int KEL_TOK_DELIMITED_ID = 2;   // "identifier" (quotes removed, "" made ")
inline constexpr int KEL_TOK_ORDINARY_ID = 3;    // identifier, ASCII letters upper-cased
inline constexpr int KEL_TOK_STRING = 4;         // 'text', X'..', G'..', N'..'
inline constexpr int KEL_TOK_INTEGER = 5;        // 123
inline constexpr int KEL_TOK_DECIMAL = 6;        // 12.5, .5, 12.
inline constexpr int KEL_TOK_FLOAT = 7;          // 12.5E+3
inline constexpr int KEL_TOK_DELIMITER = 8;      // one character of the delimiter set
inline constexpr int KEL_TOK_OPERATOR = 9;       // <= >= <> || ^= !< ...
inline constexpr int KEL_TOK_TOO_LONG = -1;      // identifier longer than KEL_MAX_SQL_ID_CHARS
inline constexpr int KEL_TOK_UNTERMINATED = -2;  // literal or delimited identifier not closed
inline constexpr int KEL_TOK_NOT_CONVERTIBLE = -3;  // identifier not representable in the
                                                    // database code page
inline constexpr int KEL_TOK_BAD_NUMBER = -4;    // number glued to a non-delimiter character

// Longest identifier of the tokenizer, in UTF-16 units.
inline constexpr int KEL_MAX_SQL_ID_CHARS = 512;
// Bytes of a token's text: the longest identifier in any database code page and a terminator.
inline constexpr int KEL_SQL_TOKEN_TEXT = 4 * KEL_MAX_SQL_ID_CHARS + 1;
// Bytes of one part of kelParseSqlQualifiedId.
inline constexpr int KEL_SQL_PART_SIZE = 256;
// Capacities (terminator included) of the schema and table of a qualified table name.
inline constexpr int KEL_SCHEMA_SIZE = 31;
inline constexpr int KEL_TABLE_SIZE = 129;
// Longest table, column or schema name that the catalogue lookups accept, in bytes.
inline constexpr int KEL_MAX_CATALOG_NAME = 128;
// Longest qualified name kelParseQualTbl converts, in UTF-16 units.
inline constexpr int KEL_MAX_QUALIFIED_NAME = 164;

// Return codes of the name parsers.
inline constexpr int KEL_SQL_TRAILING_TEXT = -109;  // something follows the name
inline constexpr int KEL_SQL_NOT_AN_ID = -113;      // the name does not start with an identifier
inline constexpr int KEL_SQL_PART_TOO_LONG = -114;  // a part does not fit its buffer

// One token.  start and end point into the tokenized text (end: its last character; for
// class 1 both point at the terminator).  text holds, for classes 2 and 3, the identifier in
// the database code page; for every other class it is empty.
struct KelSqlToken {
  int tokenClass;
  const UChar *start;
  const UChar *end;
  char text[KEL_SQL_TOKEN_TEXT];
};

/*
 * Reads the token at *text (a terminated UTF-16 string) into *token and advances *text past it.
 * White space is blank, line feed, tab and carriage return; the delimiter set is the plus,
 * minus, slash, asterisk, parentheses, point, comma and the characters "=<>^!|;?:{}[]&" and the
 * not sign.  An unterminated literal or delimited identifier
 * (-2) moves *text to the terminator; a number glued to another character (-4) moves it past
 * the number only.  Never fails otherwise: errors are token classes.
 */
void kelGetSqlToken(KelCallContext *ctx, const UChar **text, KelSqlToken *token);

/*
 * The first single or double quote inside a word token (an ordinary identifier, also one too
 * long or not convertible) after its first character, or null.  The tokenizer keeps such a
 * quote in the word (LIKE'x'); the database ends the word there and starts a literal or a
 * delimited identifier.  A caller that judges SQL text as the database will read it goes on
 * tokenizing from the quote.
 */
const UChar *kelQuoteInWord(const KelSqlToken *token);

// Copies terminated text into buf (capacity bytes) when it fits with its terminator: true;
// false and nothing copied otherwise.
bool kelCopyText(const char *text, char *buf, int capacity);
// Empties buf when it has room for a terminator.
void kelClearText(char *buf, int capacity);

/*
 * Reads an identifier or a dotted list of at most maxParts identifiers, starting with *token
 * (already read by the caller) and reading on from *text; on return *token is the first token
 * after the name.  parts receives the identifiers' texts (maxParts buffers of
 * KEL_SQL_PART_SIZE bytes) and *nParts their number.
 * Returns 0; KEL_SQL_NOT_AN_ID (-113) when *token, or the token after a point, is not an
 * identifier; KEL_SQL_PART_TOO_LONG (-114) when an identifier does not fit a part.
 */
int kelParseSqlQualifiedId(KelCallContext *ctx, const UChar **text, KelSqlToken *token,
                           int maxParts, int *nParts, char (*parts)[KEL_SQL_PART_SIZE]);

/*
 * Splits the UTF-16 table name "[schema.]table" into schema (empty without one) and table,
 * terminated, in the database code page.  Capacities are in bytes, terminator included
 * (usually KEL_SCHEMA_SIZE and KEL_TABLE_SIZE).
 * Returns 0; -109 when anything follows the name; -113 when it does not start with an
 * identifier; -114 when a part does not fit its capacity.  The outputs are empty on failure.
 */
int kelParseWQualTbl(KelCallContext *ctx, const UChar *name, char *schema, int schemaCap,
                     char *table, int tableCap);

// kelParseWQualTbl for a name in the database code page of at most KEL_MAX_QUALIFIED_NAME
// characters; a longer name gives -114, one that cannot be converted -113.
int kelParseQualTbl(KelCallContext *ctx, const char *name, char *schema, int schemaCap,
                    char *table, int tableCap);

/*
 * Parses exactly one identifier out of the UTF-16 name into ident (capacity bytes, terminator
 * included).  Returns 0, -113, -114 or -109 as kelParseWQualTbl.
 */
int kelParseWCol(KelCallContext *ctx, const UChar *name, char *ident, int capacity);

// Results of kelQuoteIdentifier.
inline constexpr int KEL_QUOTE_OK = 0;
inline constexpr int KEL_QUOTE_NOT_CONVERTIBLE = -1;
inline constexpr int KEL_QUOTE_NO_ROOM = -2;

/*
 * Appends the terminated database-code-page name at *pos as a delimited identifier (in double
 * quotes, every inner double quote doubled) and a terminator; the output ends before end.
 * Success: *pos points at the new terminator, returns KEL_QUOTE_OK.  When the result and its
 * terminator do not fit: nothing is appended, *pos is set to end, returns KEL_QUOTE_NO_ROOM.
 * When the name is not valid in the database code page (or is null): nothing is appended, *pos
 * is unchanged, returns KEL_QUOTE_NOT_CONVERTIBLE.
 */
int kelQuoteIdentifier(KelCallContext *ctx, char **pos, char *end, const char *name);

/*
 * Cleans the terminated UTF-16 query in place: leading white space is removed, each run of
 * white space outside single or double quotes becomes one blank, quoted text is kept as it is.
 * With dropComments (a user's whole statement, not a condition whose checks must see its
 * comments) a "--" comment outside quotes is taken out with its line end, and a block comment
 * to its end, each counting as white space: folded onto one line a "--" comment would run over
 * the rest of the statement.  Returns 0; -57
 * with KELG001E in msg (a message buffer of the context's mode) for a null query.
 */
int kelCleanQuery(KelCallContext *ctx, UChar *query, char *msg, bool dropComments = false);

// Kinds of kelBuildSQLstmt: what is selected, from which catalogue view, under which condition.
inline constexpr int KEL_SEL_COUNT = 10;
inline constexpr int KEL_SEL_COLNAME = 11;
inline constexpr int KEL_SEL_COLNO = 12;
inline constexpr int KEL_SEL_KEYCOLUMNS = 13;
inline constexpr int KEL_SEL_TYPE = 14;
inline constexpr int KEL_SEL_TYPE_KEY = 15;
inline constexpr int KEL_SEL_BSCHEMA = 21;
inline constexpr int KEL_VIEW_COLUMNS = 1;
inline constexpr int KEL_VIEW_TABLES = 2;
inline constexpr int KEL_VIEW_TRIGGERS = 3;
inline constexpr int KEL_VIEW_TRIGDEP = 22;
inline constexpr int KEL_COND_TABLE = 16;
inline constexpr int KEL_COND_TABLE2 = 17;
inline constexpr int KEL_COND_COLUMN = 18;
inline constexpr int KEL_COND_TRIGGER = 19;
inline constexpr int KEL_COND_KEYSEQ = 20;
inline constexpr int KEL_COND_TRIGDEP = 23;
// Bytes of a kelBuildSQLstmt result: the longest combination and its terminator fit.
inline constexpr int KEL_CATALOG_STMT_SIZE = 160;

/*
 * Writes the catalogue query made of the texts of the three kinds into stmt (at least
 * KEL_CATALOG_STMT_SIZE bytes), terminated; an unknown kind contributes nothing.  Every value
 * of the condition is a parameter marker.  Returns the length written.
 */
int kelBuildSQLstmt(KelCallContext *ctx, char *stmt, int selectKind, int viewKind, int condKind);

// Bytes a type-name buffer of kelConvertTypename holds at least (18 characters and terminator).
inline constexpr int KEL_TYPENAME_SIZE = 19;

/*
 * Normalises the type name in place (exact, case-sensitive names): INT to INTEGER; DEC, NUMERIC,
 * NUM to DECIMAL; FLOAT of length 1..24 to REAL; DOUBLE PRECISION and FLOAT of length 25..53 to
 * DOUBLE; CHAR to CHARACTER; CHARACTER VARYING and CHAR VARYING to VARCHAR.  Every other name
 * stays.  typeName holds at least KEL_TYPENAME_SIZE bytes.
 */
void kelConvertTypename(KelCallContext *ctx, char *typeName, int length);

// True for a type name beginning "GRAPHIC" or "VARGRAPHIC".
bool kelIsGraphicType(const char *typeName);

// True for a type whose values are written as quoted literals in SQL: a name beginning "CHAR",
// "VARCHAR", "DATE", "TIME" (so also "TIMESTAMP"), "GRAPHIC" or "VARGRAPHIC".
bool kelIsQuotedType(const char *typeName);

// Bytes of a normalised timestamp: "yyyy-mm-dd-hh.mm.ss.ffffff" and a terminator.
inline constexpr int KEL_TIMESTAMP_SIZE = 27;

/*
 * Checks the first length bytes of text as a timestamp "yyyy-m[m]-d[d](-| )h[h](.|:)m[m](.|:)
 * s[s][.f[fffff]]" (shorter than 27 characters) and writes it into tsBuf (KEL_TIMESTAMP_SIZE
 * bytes) with every one-digit field padded to two digits, the separators as given and the
 * fraction as given after a ".".  Returns 0; -1 (tsBuf empty) for any other text.
 */
int normal_tstamp(KelCallContext *ctx, const char *text, int length, char *tsBuf);

// Results of the bind-list locations.
inline constexpr int KEL_BIND_NO_ENV = 154;     // the environment variable is unset or empty
inline constexpr int KEL_BIND_NO_BUFFER = 199;  // no output buffer

/*
 * Writes "@<QUARNKELPATH>/bnd/kelbind.lst" into path (KEL_MAX_PATH + 1 bytes).  Returns 0; 154
 * when QUARNKELPATH is unset or empty, or the result would be longer than KEL_MAX_PATH; 199
 * when path is null.
 */
int kelGetBindDir(KelCallContext *ctx, char *path);

// The same for "@<QUARNPATH>/bnd/quarncli.lst".
int kelGetBindCliDir(KelCallContext *ctx, char *path);

#endif /* KEL_SQL_H */
