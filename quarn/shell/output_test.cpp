// The console's output modes on values the engine can hand out: quoting and escaping, numbers
// that JSON cannot hold, untyped columns, bytes that are not UTF-8, and CALL outputs.
#include "output.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

namespace quarn {
namespace {

QType typeOf(Base base, int scale = 0) {
  QType t;
  t.base = base;
  t.scale = scale;
  return t;
}

std::string write(OutputFormat format, const std::vector<std::string> &names, const std::vector<QType> &types,
                  const std::vector<std::vector<Value>> &rows) {
  std::ostringstream out;
  ResultWriter w(out, format);
  w.begin(names, types);
  for (const auto &r : rows) w.row(r);
  w.end(true);
  return out.str();
}

// Control characters are escaped; bytes that are not UTF-8 become U+FFFD so the output stays
// valid JSON; infinity and NaN, which JSON has no number for, are strings; an untyped column
// (a VALUES expression) writes numbers as numbers and text as strings.
TEST(ResultWriter, JsonStaysValid) {
  OutputFormat json{OutputMode::Json, true};
  std::string got = write(json, {"T", "D", "U"}, {typeOf(Base::Varchar), typeOf(Base::Double), typeOf(Base::None)},
                          {{Value::text(std::string("a\x01\t\"\\\xC3\xA9\xFF\xC3", 9)), Value::real(std::numeric_limits<double>::infinity()),
                            Value::integer(-7)},
                           {Value::text("\xF0\x9F\x98\x80"), Value::real(std::numeric_limits<double>::quiet_NaN()), Value::text("12")},
                           {Value::null(), Value::real(2), Value::real(0.5)}});
  EXPECT_EQ(got,
            "[{\"T\":\"a\\u0001\\t\\\"\\\\\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\",\"D\":\"inf\",\"U\":-7},\n"
            "{\"T\":\"\xF0\x9F\x98\x80\",\"D\":\"nan\",\"U\":\"12\"},\n"
            "{\"T\":null,\"D\":2.0,\"U\":0.5}]\n");
  EXPECT_EQ(write(json, {"A"}, {typeOf(Base::Integer)}, {}), "[]\n");
  // A repeated column name is a key of its own (a reader kept one of two "A" keys), past a
  // column that already has the name the number would make.
  EXPECT_EQ(write(json, {"A", "A", "A:2", "A"}, std::vector<QType>(4, typeOf(Base::Integer)),
                  {{Value::integer(1), Value::integer(2), Value::integer(3), Value::integer(4)}}),
            "[{\"A\":1,\"A:3\":2,\"A:2\":3,\"A:4\":4}]\n");
}

// Fields with a comma, a quote or a line break are quoted, quotes doubled; an empty string is
// "" and NULL an empty field; a CHAR value keeps its padding as in the table; the header line
// can be left out.
TEST(ResultWriter, CsvQuotesOnlyWhatNeedsIt) {
  QType ch = typeOf(Base::Char);
  ch.length = 3;
  std::vector<QType> types = {typeOf(Base::Varchar), ch, typeOf(Base::Decimal, 2)};
  std::vector<std::vector<Value>> rows = {{Value::text("a,b"), Value::text("x"), Value::real(1.5)},
                                          {Value::text("say \"hi\"\r\n"), Value::null(), Value::integer(3)},
                                          {Value::text(""), Value::text("abc"), Value::null()}};
  EXPECT_EQ(write({OutputMode::Csv, true}, {"A,1", "B", "C"}, types, rows),
            "\"A,1\",B,C\n\"a,b\",x  ,1.50\n\"say \"\"hi\"\"\r\n\",,3.00\n\"\",abc,\n");
  EXPECT_EQ(write({OutputMode::Csv, false}, {"A"}, {typeOf(Base::Varchar)}, {{Value::text("v")}}), "v\n");
}

// Control characters of data never reach a terminal raw: the table shows ESC, BEL, DEL, a C1
// control and a byte that is not UTF-8 as U+FFFD (a line break and a tab as a blank), in cells,
// headings and CALL outputs, and counts widths by what it shows; JSON escapes them, the same
// value; CSV keeps the bytes exact.  The table wrote them as they were: a stored value could
// retitle the window or clear the screen.
TEST(ResultWriter, ControlCharactersNeverReachATerminalRaw) {
  const std::string value("a\x1b]0;t\x07|\x7f\xc2\x9b\xff\tz", 14), fffd = "\xEF\xBF\xBD";
  const std::string shown = "a" + fffd + "]0;t" + fffd + "|" + fffd + fffd + fffd + " z";
  std::string got = write({OutputMode::Table, true}, {"V", std::string("H\x1b[2J", 5)},
                          {typeOf(Base::Varchar), typeOf(Base::Varchar)}, {{Value::text(value), Value::text("x")}});
  EXPECT_EQ(got, "V             H" + fffd + "[2J\n------------- -----\n" + shown + " x\n\n  1 record(s) selected.\n\n");
  EXPECT_EQ(write({OutputMode::Json, true}, {"V"}, {typeOf(Base::Varchar)}, {{Value::text(value)}}),
            "[{\"V\":\"a\\u001b]0;t\\u0007|\\u007f\\u009b" + fffd + "\\tz\"}]\n");
  EXPECT_EQ(write({OutputMode::Csv, false}, {"V"}, {typeOf(Base::Varchar)}, {{Value::text(value)}}), value + "\n");
  std::vector<Statement::CallOutput> outs(1);
  outs[0].name = "P";
  outs[0].type = typeOf(Base::Varchar);
  outs[0].value = Value::text("line\n\x1b[2J");
  std::ostringstream table;
  ResultWriter(table, {OutputMode::Table, true}).callOutputs(outs);
  EXPECT_NE(table.str().find("Parameter Value : line\n" + fffd + "[2J\n"), std::string::npos) << table.str();
}

// GRAPHIC(n) shows padded to n characters as CHAR(n) to n bytes, in every mode.  It showed as
// stored, unpadded, while LENGTH and || saw the padded value.
TEST(ResultWriter, GraphicIsPaddedToItsLengthInCharacters) {
  QType graphic = typeOf(Base::Graphic), ch = typeOf(Base::Char);
  graphic.length = 3;
  ch.length = 3;
  EXPECT_EQ(write({OutputMode::Csv, false}, {"G", "C"}, {graphic, ch}, {{Value::text("\xC3\xA9"), Value::text("\xC3\xA9")}}),
            "\xC3\xA9  ,\xC3\xA9 \n");
  EXPECT_EQ(write({OutputMode::Json, true}, {"G"}, {graphic}, {{Value::text("ab")}}), "[{\"G\":\"ab \"}]\n");
}

// Without the heading the table is its rows and the count; an untyped column of numbers is
// aligned right.
TEST(ResultWriter, TableWithoutHeading) {
  std::string got = write({OutputMode::Table, false}, {"LONG_NAME", "N"}, {typeOf(Base::Varchar), typeOf(Base::None)},
                          {{Value::text("a"), Value::integer(5)}, {Value::text("bb"), Value::integer(10)}});
  EXPECT_EQ(got, "a   5\nbb 10\n\n  2 record(s) selected.\n\n");
}

// A result cut short by a failure: the table shows the rows read (none: nothing at all) without
// the "record(s) selected." line, which read as success before the failure's message; CSV
// writes the rows as they came; JSON still closes its array.
TEST(ResultWriter, CutShortResults) {
  std::ostringstream table, json;
  ResultWriter t(table, {OutputMode::Table, true}), j(json, {OutputMode::Json, true});
  for (ResultWriter *w : {&t, &j}) {
    w->begin({"A"}, {typeOf(Base::Integer)});
    w->end(false);
  }
  EXPECT_EQ(table.str(), "");
  EXPECT_EQ(json.str(), "[]\n");
  const std::vector<Value> row1 = {Value::integer(10)}, row2 = {Value::integer(20)};
  std::ostringstream rowsTable, rowsCsv, rowsJson;
  ResultWriter rt(rowsTable, {OutputMode::Table, true}), rc(rowsCsv, {OutputMode::Csv, true}),
      rj(rowsJson, {OutputMode::Json, true});
  for (ResultWriter *w : {&rt, &rc, &rj}) {
    w->begin({"ID"}, {typeOf(Base::Integer)});
    w->row(row1);
    w->row(row2);
    w->end(false);
  }
  EXPECT_EQ(rowsTable.str(), "ID\n--\n10\n20\n\n");
  EXPECT_EQ(rowsCsv.str(), "ID\n10\n20\n");
  EXPECT_EQ(rowsJson.str(), "[{\"ID\":10},\n{\"ID\":20}]\n");
}

// OUT values of a CALL: a list in the table, one row in the data modes, typed alike.
TEST(ResultWriter, CallOutputs) {
  std::vector<Statement::CallOutput> outs(2);
  outs[0].name = "P1";
  outs[0].type = typeOf(Base::Integer);
  outs[0].value = Value::integer(0);
  outs[1].name = "P2";
  outs[1].type = typeOf(Base::Varchar);
  outs[1].value = Value::text("done, ok");
  std::ostringstream table, csv, json, none;
  ResultWriter(table, {OutputMode::Table, true}).callOutputs(outs);
  ResultWriter(csv, {OutputMode::Csv, true}).callOutputs(outs);
  ResultWriter(json, {OutputMode::Json, true}).callOutputs(outs);
  ResultWriter(none, {OutputMode::Json, true}).callOutputs({});
  EXPECT_EQ(table.str(),
            "\n  Value of output parameters\n  --------------------------\n"
            "  Parameter Name  : P1\n  Parameter Value : 0\n\n"
            "  Parameter Name  : P2\n  Parameter Value : done, ok\n\n");
  EXPECT_EQ(csv.str(), "P1,P2\n0,\"done, ok\"\n");
  EXPECT_EQ(json.str(), "[{\"P1\":0,\"P2\":\"done, ok\"}]\n");
  EXPECT_EQ(none.str(), "");
}

}  // namespace
}  // namespace quarn
