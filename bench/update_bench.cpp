/*
 * update_bench.cpp - the update and validate functions through SQL against the parser library
 * on the same bytes, measured in one run over 20,000 order documents of about 1 KB in an
 * XMLVarchar column:
 *   update:   SELECT update(v, '/order/payment/@terms', 'net 60 days') against a raw SAX2 scan
 *             with an empty handler (target: ratio at least 0.5: parse plus re-serialisation);
 *   validate: the same orders with a DOCTYPE in a second column; SELECT validate(v, content,
 *             dtdid) with the DTD from DTD_REF, and with the DTD as a file name, against a raw
 *             validating SAX2 parse with the DTD's grammar loaded once (target: ratio at least
 *             0.8).
 *   validateReport: the same valid orders through SELECT ... TABLE(validateReport(v, content))
 *             (no rows) against SQL validate of them (target: at most 1.2 times its cost,
 *             ratio at least 0.83), and the report engine directly against the validation
 *             engine.
 * The update engine and the validation engine called directly are reported too.  Best of five
 * passes after a warm-up.  Not a test.
 */
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/common/Grammar.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "benchutil.h"
#include "kel_test_env.h"
#include "kelctx.h"
#include "kelenable.h"
#include "kelmsg.h"
#include "kelupdate.h"
#include "kelvalidate.h"
#include "kelvalreport.h"
#include "quarnapp.h"
#include "sqlenv.h"

using namespace xercesc;

namespace {

// An order of about 1 KB (the documents of function_bench).
std::string orderDoc(int n) {
  std::string d = "<order id=\"" + std::to_string(n) + "\"><customer>Customer " +
                  std::to_string(n % 97) + "</customer><date>2026-12-07</date><shipTo><name>Receiving department " +
                  std::to_string(n % 13) + "</name><street>" + std::to_string(100 + n % 900) +
                  " Harbour Road, Unit 4</street><city>Northbridge</city><zip>" + std::to_string(10000 + n % 89999) +
                  "</zip><country>Freeland</country></shipTo><payment method=\"invoice\" currency=\"EUR\" "
                  "terms=\"net 30 days\"/>";
  for (int i = 0; i < 6; ++i)
    d += "<item sku=\"S" + std::to_string(n * 7 + i) + "\"><name>Item number " + std::to_string(i) +
         " of order</name><qty>" + std::to_string(i + 1) + "</qty><price>" + std::to_string(10 + i) + ".50</price></item>";
  return d + "<reference>PO-2026-" + std::to_string(500000 + n) +
         "</reference><note>Deliver to the back door, ring twice &amp; wait. Fragile goods: keep upright and do "
         "not stack more than three cartons high.</note></order>";
}

// The same order with a DOCTYPE whose DTD is kDtd, for validation.
std::string typedOrderDoc(int n) { return "<!DOCTYPE order SYSTEM \"order.dtd\">" + orderDoc(n); }

const char kDtd[] =
    "<!ELEMENT order (customer, date, shipTo, payment, item+, reference, note)>"
    "<!ATTLIST order id CDATA #REQUIRED>"
    "<!ELEMENT customer (#PCDATA)><!ELEMENT date (#PCDATA)>"
    "<!ELEMENT shipTo (name, street, city, zip, country)>"
    "<!ELEMENT name (#PCDATA)><!ELEMENT street (#PCDATA)><!ELEMENT city (#PCDATA)>"
    "<!ELEMENT zip (#PCDATA)><!ELEMENT country (#PCDATA)>"
    "<!ELEMENT payment EMPTY><!ATTLIST payment method CDATA #REQUIRED currency CDATA #REQUIRED terms CDATA #IMPLIED>"
    "<!ELEMENT item (name, qty, price)><!ATTLIST item sku ID #REQUIRED>"
    "<!ELEMENT qty (#PCDATA)><!ELEMENT price (#PCDATA)><!ELEMENT reference (#PCDATA)><!ELEMENT note (#PCDATA)>";

const char kUpdateQuery[] = "SELECT quarnxml.update(v, '/order/payment/@terms', 'net 60 days') FROM vdocs";
const char kValidateQuery[] =
    "SELECT quarnxml.validate(d.v, r.content, r.dtdid) FROM tdocs AS d, quarnxml.dtd_ref AS r WHERE r.dtdid = "
    "'order.dtd'";
std::string validateFileQuery;  // the same with the DTD as a file name
const char kReportQuery[] =
    "SELECT r.seq FROM tdocs AS d, quarnxml.dtd_ref AS x, TABLE(quarnxml.validateReport(d.v, x.content)) AS r "
    "WHERE x.dtdid = 'order.dtd'";

using bench::check;

// Runs a query and reads every row's first column (up to 32672 bytes); returns the rows or -1.
long runQuery(const char *sql) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (!check(quarn_prepare(sql, &stmt, &ca), ca, sql)) return -1;
  if (!check(quarn_open(stmt, 0, nullptr, &ca), ca, sql)) return -1;
  static std::vector<char> value(32673);
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CSTR, static_cast<sqlint32>(value.size()), value.data(), &ind};
  long rows = 0;
  while (quarn_fetch(stmt, 1, &out, &ca) == 0) ++rows;
  quarn_free_stmt(stmt);
  if (ca.sqlcode < 0) check(ca.sqlcode, ca, sql);
  return ca.sqlcode < 0 ? -1 : rows;
}

// A SAX2 reader with an empty handler: the parser's own cost of the same bytes.
struct Raw {
  SAX2XMLReaderImpl reader;
  DefaultHandler handler;
  explicit Raw(bool validating) {
    reader.setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    reader.setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
    reader.setFeature(XMLUni::fgSAX2CoreValidation, validating);
    reader.setFeature(XMLUni::fgXercesSchema, false);
    reader.setContentHandler(&handler);
    reader.setErrorHandler(&handler);
    reader.setLexicalHandler(&handler);
    if (validating) {
      // The DTD's grammar loaded once; every document's DOCTYPE finds it.
      MemBufInputSource dtd(reinterpret_cast<const XMLByte *>(kDtd), std::strlen(kDtd), u"order.dtd", false);
      reader.loadGrammar(dtd, Grammar::DTDGrammarType, true);
      reader.setFeature(XMLUni::fgXercesUseCachedGrammarInParse, true);
    }
  }
  void scan(const std::string &doc) {
    MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"raw", false);
    reader.parse(src);
  }
};

}  // namespace

// Arguments: [N [raw|rawvalid|direct|directvalid|directreport|sqlupdate|sqlvalidate|sqlvalidatefile|sqlreport|setup]]:
// N documents (default 20000); with a mode only that path runs, once, so that
// `valgrind --tool=callgrind --toggle-collect='*runQuery*'` (SQL paths) or
// `--toggle-collect='*Raw::scan*'` / `'*KelUpdater::updateBuffer*'` / `'*KelValidator::validate*'`
// compare instruction counts.
int main(int argc, char **argv) {
  const int nDocs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const std::string mode = argc > 2 ? argv[2] : "";
  std::string inst = bench::freshInstance("kelupdbench");
  std::string dtdFile = inst + "/order.dtd";
  keltest::writeFile(dtdFile, kDtd);
  sqloSetEnv(SQLE_REG_XML_READ_DIRS, inst.c_str());
  validateFileQuery = "SELECT quarnxml.validate(v, '" + dtdFile + "', 'order.dtd') FROM tdocs";

  sqlca ca{};
  if (!bench::createAndRegister("BENCH", kelEnableList(), &ca)) return 1;
  // The orders, and the same with their DOCTYPE, in a table each.
  quarn_execute_immediate("CREATE TABLE vdocs (id INTEGER NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar)", &ca);
  quarn_execute_immediate("CREATE TABLE tdocs (id INTEGER NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar)", &ca);
  std::string insertDtd = std::string("INSERT INTO quarnxml.dtd_ref VALUES ('order.dtd', quarnxml.XMLCLOB('") + kDtd +
                          "'), 0, 'bench', 'bench', 'bench')";
  if (!check(quarn_execute_immediate(insertDtd.c_str(), &ca), ca, "dtd")) return 1;
  std::vector<std::string> docs, typed;
  for (int i = 0; i < nDocs; ++i) {
    docs.push_back(orderDoc(i));
    typed.push_back(typedOrderDoc(i));
  }
  for (const char *table : {"vdocs", "tdocs"}) {
    std::vector<std::string> &rows = table[0] == 'v' ? docs : typed;
    quarn_stmt *ins = nullptr;
    std::string sql = std::string("INSERT INTO ") + table + " VALUES (?, quarnxml.XMLVarchar(CAST(? AS VARCHAR(3000))))";
    quarn_prepare(sql.c_str(), &ins, &ca);
    for (int i = 0; i < nDocs; ++i) {
      sqlint32 id = i;
      quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &id, nullptr},
                             {SQL_TYP_CSTR, 3001, rows[static_cast<size_t>(i)].data(), nullptr}};
      if (!check(quarn_execute(ins, 2, in, &ca), ca, "insert")) return 1;
    }
    quarn_free_stmt(ins);
  }
  quarn_commit(&ca);

  KelCallContext ctx{};
  char state[6], msg[KEL_MSG_BUFFER + 1];
  KelCodePageRequest request{0, 1208, nullptr};
  kelInit(&ctx, KEL_SHORT_MESSAGES, &request, state, msg, "UTF-8");
  size_t bytes = 0, typedBytes = 0;
  for (const std::string &d : docs) bytes += d.size();
  for (const std::string &d : typed) typedBytes += d.size();

  // One path over every document; returns the documents that came out right.
  std::string out;
  auto direct = [&](KelUpdater &updater) {
    long ok = 0;
    for (const std::string &d : docs)
      ok += updater.updateBuffer(d.data(), d.size(), "/order/payment/@terms", "net 60 days", &out, 32672, state,
                                 msg) == 0;
    return ok;
  };
  auto directValid = [&](KelValidator &validator) {
    long ok = 0;
    for (const std::string &d : typed)
      ok += validator.validate(d.data(), d.size(), 1, 1, kDtd, 1, "order.dtd", state, msg, KEL_DTD_TEXT);
    return ok;
  };
  // The report of every document; returns the documents without a row.
  auto directReport = [&](KelValidator &validator, KelReportCollector &report) {
    long ok = 0;
    for (const std::string &d : typed)
      ok += validator.report(d.data(), d.size(), 1, 1, kDtd, 1, "order.dtd", KEL_DTD_TEXT, &report, state, msg) == 0 &&
            report.finish().empty();
    return ok;
  };

  if (!mode.empty()) {
    if (mode == "raw" || mode == "rawvalid") {
      Raw raw(mode == "rawvalid");
      for (const std::string &d : mode == "raw" ? docs : typed) raw.scan(d);
    } else if (mode == "direct") {
      KelUpdater updater(&ctx);
      direct(updater);
    } else if (mode == "directvalid") {
      KelValidator validator(&ctx);
      directValid(validator);
    } else if (mode == "directreport") {
      KelValidator validator(&ctx);
      KelReportCollector report(&ctx);
      directReport(validator, report);
    } else if (mode == "sqlreport") {
      runQuery(kReportQuery);
    } else if (mode == "sqlupdate") {
      runQuery(kUpdateQuery);
    } else if (mode == "sqlvalidate") {
      runQuery(kValidateQuery);
    } else if (mode == "sqlvalidatefile") {
      runQuery(validateFileQuery.c_str());
    }
    kelTerm(&ctx, state);
    quarn_connect_reset(&ca);
    std::filesystem::remove_all(inst);
    return 0;
  }

  constexpr int kPasses = 5;
  enum { RAW, RAWVALID, DIRECT, DIRECTVALID, DIRECTREPORT, SQLUPDATE, SQLVALIDATE, SQLVALIDATEFILE, SQLREPORT, N };
  double best[N];
  long got[N] = {0};
  std::fill(best, best + N, 1e30);
  Raw raw(false), rawValid(true);
  for (int pass = 0; pass <= kPasses; ++pass) {
    double t[N];
    auto t0 = bench::Clock::now();
    for (const std::string &d : docs) raw.scan(d);
    t[RAW] = bench::secondsSince(t0);
    t0 = bench::Clock::now();
    for (const std::string &d : typed) rawValid.scan(d);
    t[RAWVALID] = bench::secondsSince(t0);
    {
      KelUpdater updater(&ctx);
      t0 = bench::Clock::now();
      got[DIRECT] = direct(updater);
      t[DIRECT] = bench::secondsSince(t0);
      KelValidator validator(&ctx);
      t0 = bench::Clock::now();
      got[DIRECTVALID] = directValid(validator);
      t[DIRECTVALID] = bench::secondsSince(t0);
      KelValidator reporter(&ctx);
      KelReportCollector report(&ctx);
      t0 = bench::Clock::now();
      got[DIRECTREPORT] = directReport(reporter, report);
      t[DIRECTREPORT] = bench::secondsSince(t0);
    }
    t0 = bench::Clock::now();
    got[SQLUPDATE] = runQuery(kUpdateQuery);
    t[SQLUPDATE] = bench::secondsSince(t0);
    t0 = bench::Clock::now();
    got[SQLVALIDATE] = runQuery(kValidateQuery);
    t[SQLVALIDATE] = bench::secondsSince(t0);
    t0 = bench::Clock::now();
    got[SQLVALIDATEFILE] = runQuery(validateFileQuery.c_str());
    t[SQLVALIDATEFILE] = bench::secondsSince(t0);
    t0 = bench::Clock::now();
    got[SQLREPORT] = runQuery(kReportQuery);
    t[SQLREPORT] = bench::secondsSince(t0);
    if (pass == 0) continue;  // the first pass warms caches
    for (int k = 0; k < N; ++k) best[k] = std::min(best[k], t[k]);
  }
  std::printf("%zu documents of about %zu bytes (%.1f MB; with their DOCTYPE for validation), best of %d passes\n",
              docs.size(), docs[0].size(), bytes / 1e6, kPasses);
  auto line = [&](const char *what, int k, int floor, long rows) {
    const size_t b = k == RAW || k == DIRECT || k == SQLUPDATE ? bytes : typedBytes;
    std::printf("%-46s %9.0f docs/s %7.1f MB/s", what, docs.size() / best[k], b / best[k] / 1e6);
    if (floor >= 0)
      std::printf("  ratio to %s %.2f",
                  floor == RAW                ? "raw scan"
                  : floor == RAWVALID         ? "raw validation"
                  : floor == DIRECTVALID      ? "validation engine"
                                              : "SQL validate",
                  best[floor] / best[k]);
    if (rows >= 0) std::printf("  (%ld)", rows);
    std::printf("\n");
  };
  line("raw SAX2 scan", RAW, -1, -1);
  line("raw validating parse, grammar loaded once", RAWVALID, -1, -1);
  line("update engine directly", DIRECT, RAW, got[DIRECT]);
  line("SQL update, XMLVarchar column", SQLUPDATE, RAW, got[SQLUPDATE]);
  line("validation engine directly", DIRECTVALID, RAWVALID, got[DIRECTVALID]);
  line("SQL validate, DTD from DTD_REF", SQLVALIDATE, RAWVALID, got[SQLVALIDATE]);
  line("SQL validate, DTD file", SQLVALIDATEFILE, RAWVALID, got[SQLVALIDATEFILE]);
  line("report engine directly (valid: no rows)", DIRECTREPORT, DIRECTVALID, got[DIRECTREPORT]);
  line("SQL validateReport, DTD from DTD_REF (rows)", SQLREPORT, SQLVALIDATE, got[SQLREPORT]);
  std::printf("targets: SQL update at least 0.5 of the raw scan; SQL validate at least 0.8 of the raw validation;\n"
              "         SQL validateReport of valid documents at least 0.83 of SQL validate (at most 1.2 times its cost)\n");
  kelTerm(&ctx, state);
  quarn_connect_reset(&ca);
  std::filesystem::remove_all(inst);
  return 0;
}
