// The collection tables as SQL: type texts read as type syntax (and nothing else), the CREATE
// TABLE of a DAD's tables (keys, one foreign-key clause per parent table, a key column that is
// also a foreign key defined once, the table-space clause quoted, no length limit below the
// database's), and the INSERT of a row.
#include "keltab.h"

#include <gtest/gtest.h>

#include <string>

#include "kel_test_ctx.h"
#include "keldadcache.h"
#include "kelrel.h"

namespace {

TEST(KelSqlType, ReadsTypeSyntaxOnly) {
  KelSqlType t;
  ASSERT_TRUE(kelParseSqlType(nullptr, "varchar (30)", &t));
  EXPECT_EQ(t.text, "VARCHAR(30)");
  EXPECT_EQ(t.length, 30);
  ASSERT_TRUE(kelParseSqlType(nullptr, "decimal( 10 , 2 )", &t));
  EXPECT_EQ(t.text, "DECIMAL(10,2)");
  EXPECT_EQ(t.scale, 2);
  ASSERT_TRUE(kelParseSqlType(nullptr, "clob(1M)", &t));
  EXPECT_EQ(t.length, 1048576);
  ASSERT_TRUE(kelParseSqlType(nullptr, "double precision", &t));
  EXPECT_EQ(t.name, "DOUBLE PRECISION");
  ASSERT_TRUE(kelParseSqlType(nullptr, "quarnxml.XMLCLOB", &t));
  EXPECT_EQ(t.schema, "QUARNXML");
  EXPECT_EQ(t.name, "XMLCLOB");
  // Anything that is not one type: a second statement, an unclosed length, a trailing word, a
  // length beyond 31 bits, a comment.
  for (const char *bad : {"integer) DROP TABLE x --", "varchar(30", "integer not null", "varchar(99999999999)",
                          "int -- c", "varchar(30) , y int", "", "(30)", "varchar(-1)"})
    EXPECT_FALSE(kelParseSqlType(nullptr, bad, &t)) << bad;
  // Regression: the tokenizer reads a quote inside a word as part of the word, so "INTEGER'"
  // was taken as a type name and written into CREATE TABLE and INSERT texts as it stood, where
  // the quote opened a string constant.  A built-in type name is a plain word.
  for (const char *bad : {"INTEGER'", "int\"x", "varchar'x(30)", "char%(3)", "long vargraphic'"})
    EXPECT_FALSE(kelParseSqlType(nullptr, bad, &t)) << bad;
  ASSERT_TRUE(kelParseSqlType(nullptr, "TIMESTAMP", &t));
  EXPECT_EQ(t.text, "TIMESTAMP");
}

class CollectionTables : public keltest::CallContextTest {
 protected:
  // The decomposition model of dad, types canonical.
  KEL_REL model(const std::string &dad) {
    KelDad parsed;
    EXPECT_EQ(kelDadOpen(&ctx, dad.c_str(), 1, 1, KEL_DAD_XCOLLECTION, &parsed, state, msg), 0) << msg;
    KEL_REL rel;
    EXPECT_EQ(kelDadRelation(&ctx, &parsed, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg), 0) << msg;
    EXPECT_EQ(kelNormalizeTypes(&ctx, &rel, state, msg), 0) << msg;
    return rel;
  }
  std::string create(const KEL_REL &rel, int tab, const std::string &space = "") {
    std::string sql;
    EXPECT_EQ(kelCreateTableText(&ctx, rel, tab, space, &sql, state, msg), 0) << msg;
    return sql;
  }
};

// An order; its lines (child of the order); each line's shipments, keyed by the line (also the
// foreign key) and a time; a note per shipment keyed by both columns of the shipment's key.
const char kDad[] =
    "<DAD><validation>NO</validation><Xcollection><prolog>?xml version=\"1.0\"?</prolog><root_node>"
    "<element_node name=\"po\"><RDB_node><table name=\"s.po\" key=\"id\"/><table name=\"line\" key=\"lno\"/>"
    "<table name=\"ship\" key=\"lno at\"/><table name=\"memo\" key=\"mno\"/>"
    "<condition>s.po.id = line.po AND line.lno = ship.lno AND ship.lno = memo.lno AND ship.at = memo.at"
    "</condition></RDB_node>"
    "<attribute_node name=\"id\"><RDB_node><table name=\"s.po\"/><column name=\"id\" type=\"integer\"/>"
    "</RDB_node></attribute_node>"
    "<element_node name=\"line\" multi_occurrence=\"YES\"><attribute_node name=\"no\"><RDB_node>"
    "<table name=\"line\"/><column name=\"lno\" type=\"integer\"/></RDB_node></attribute_node>"
    "<element_node name=\"ship\" multi_occurrence=\"YES\"><attribute_node name=\"by\"><RDB_node>"
    "<table name=\"ship\"/><column name=\"by\" type=\"char(5)\"/></RDB_node></attribute_node><element_node name=\"at\"><text_node><RDB_node>"
    "<table name=\"ship\"/><column name=\"at\" type=\"timestamp\"/></RDB_node></text_node></element_node>"
    "<element_node name=\"memo\"><attribute_node name=\"n\"><RDB_node><table name=\"memo\"/>"
    "<column name=\"mno\" type=\"integer\"/></RDB_node></attribute_node><text_node><RDB_node>"
    "<table name=\"memo\"/><column name=\"text\" type=\"varchar (30)\"/></RDB_node></text_node></element_node>"
    "</element_node></element_node></element_node></root_node></Xcollection></DAD>";

TEST_F(CollectionTables, KeysAndOneForeignKeyClausePerParent) {
  KEL_REL rel = model(kDad);
  ASSERT_EQ(rel.tab.size(), 4u);
  EXPECT_EQ(create(rel, 0), "CREATE TABLE \"S\".\"PO\"(\"ID\" INTEGER NOT NULL,PRIMARY KEY (\"ID\"))");
  EXPECT_EQ(create(rel, 1),
            "CREATE TABLE \"LINE\"(\"LNO\" INTEGER NOT NULL,\"PO\" INTEGER,PRIMARY KEY (\"LNO\"),"
            "FOREIGN KEY (\"PO\") REFERENCES \"S\".\"PO\"(\"ID\"))");
  // lno is a key column and the foreign key: defined once, NOT NULL.
  EXPECT_EQ(create(rel, 2),
            "CREATE TABLE \"SHIP\"(\"BY\" CHAR(5),\"AT\" TIMESTAMP NOT NULL,\"LNO\" INTEGER NOT NULL,"
            "PRIMARY KEY (\"LNO\",\"AT\"),FOREIGN KEY (\"LNO\") REFERENCES \"LINE\"(\"LNO\"))");
  // Two columns referring to one parent: one clause.
  EXPECT_EQ(create(rel, 3, " IN \"SPACE\""),
            "CREATE TABLE \"MEMO\"(\"MNO\" INTEGER NOT NULL,\"TEXT\" VARCHAR(30),\"LNO\" INTEGER,\"AT\" "
            "TIMESTAMP,PRIMARY KEY (\"MNO\"),FOREIGN KEY (\"LNO\",\"AT\") REFERENCES \"SHIP\"(\"LNO\",\"AT\")) "
            "IN \"SPACE\"");
  // A table the RDB_node lists and nothing maps is refused by name; it made "CREATE TABLE x()",
  // and the database's syntax error was all the user saw.  The model refuses such a table
  // first, as one no join reaches (KELQ035E); the table text keeps its own check.
  std::string unmapped = kDad;
  unmapped.replace(unmapped.find("<table name=\"memo\" key=\"mno\"/>"), 0, "<table name=\"s.unused\" key=\"k\"/>");
  KelDad parsed;
  ASSERT_EQ(kelDadOpen(&ctx, unmapped.c_str(), 1, 1, KEL_DAD_XCOLLECTION, &parsed, state, msg), 0) << msg;
  KEL_REL refused;
  EXPECT_EQ(kelDadRelation(&ctx, &parsed, KEL_MODE_DECOMPOSE, nullptr, &refused, state, msg), -111);
  EXPECT_EQ(std::string(msg), "KELQ035E  Invalid join condition in top RDB_node of DAD: S.UNUSED \n");
  KEL_REL more = rel;
  KEL_TAB unused;
  unused.schema = "S";
  unused.name = "UNUSED";
  unused.priKey = {"K"};
  more.tab.push_back(unused);
  std::string sql;
  EXPECT_EQ(kelCreateTableText(&ctx, more, 4, "", &sql, state, msg), -84);
  EXPECT_EQ(std::string(msg), "KELQ024E  Can not create table S.UNUSED.\n");
}

TEST_F(CollectionTables, TableSpaceReadAsOneIdentifierAndQuoted) {
  std::string clause;
  ASSERT_EQ(kelTableSpaceClause(&ctx, "userspace1", &clause, state, msg), 0) << msg;
  EXPECT_EQ(clause, " IN \"USERSPACE1\"");
  ASSERT_EQ(kelTableSpaceClause(&ctx, nullptr, &clause, state, msg), 0);
  EXPECT_EQ(clause, "");
  EXPECT_LT(kelTableSpaceClause(&ctx, "x) DROP TABLE t --", &clause, state, msg), 0);
  EXPECT_NE(std::string(msg).find("KELQ033E"), std::string::npos) << msg;
  EXPECT_LT(kelTableSpaceClause(&ctx, "aaaaaaaaaaaaaaaaaaaaaaaa", &clause, state, msg), 0);
}

TEST_F(CollectionTables, TypeThatIsNotTypeSyntaxIsRefused) {
  std::string dad = kDad;
  dad.replace(dad.find("type=\"timestamp\""), 16, "type=\"timestamp, x int\"");
  KelDad parsed;
  ASSERT_EQ(kelDadOpen(&ctx, dad.c_str(), 1, 1, KEL_DAD_XCOLLECTION, &parsed, state, msg), 0) << msg;
  KEL_REL rel;
  ASSERT_EQ(kelDadRelation(&ctx, &parsed, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg), 0) << msg;
  EXPECT_LT(kelNormalizeTypes(&ctx, &rel, state, msg), 0);
  EXPECT_NE(std::string(msg).find("KELA059E"), std::string::npos) << msg;
}

TEST_F(CollectionTables, LongTablesAreBuiltWhole) {
  // 120 columns of long names: far more than 2048 bytes of CREATE TABLE and INSERT.
  std::string columns;
  for (int i = 0; i < 120; ++i) {
    std::string n = "a_rather_long_column_name_number_" + std::to_string(i);
    columns += "<element_node name=\"" + n + "\"><text_node><RDB_node><table name=\"wide\"/><column name=\"" + n +
               "\" type=\"varchar(100)\"/></RDB_node></text_node></element_node>";
  }
  std::string dad = "<DAD><validation>NO</validation><Xcollection><root_node><element_node name=\"w\"><RDB_node>"
                    "<table name=\"wide\" key=\"a_rather_long_column_name_number_0\"/></RDB_node>" +
                    columns + "</element_node></root_node></Xcollection></DAD>";
  KEL_REL rel = model(dad);
  ASSERT_EQ(rel.tab.size(), 1u);
  std::string sql = create(rel, 0);
  EXPECT_GT(sql.size(), 4000u);
  EXPECT_NE(sql.find("\"A_RATHER_LONG_COLUMN_NAME_NUMBER_119\" VARCHAR(100),PRIMARY KEY"), std::string::npos);
  ASSERT_EQ(generate_SQLi(&ctx, &rel, 0, state, msg), 0) << msg;
  EXPECT_GT(rel.tab[0].stmt.size(), 4000u);
}

}  // namespace
