/*
 * shred_bench.cpp - decomposition through the procedures against a floor measured in the same
 * run.  The collection of tests/data/decompose/orders.dad (an order, its parts, each part's
 * shipments: three tables) is enabled; then
 *  - 20,000 purchase orders of about 1 KB are stored with one CALL of kelInsertXML each, all in
 *    one unit of work, committed at the end;
 *  - the floor: a plain loop that parses each document with the same parser settings (kelDOM),
 *    walks it by hand and inserts the same rows into the same three tables through SQLite
 *    prepared statements in one transaction;
 *  - one document of 50 MB (10,000 parts with notes of about 5 KB) is stored with one CALL of
 *    kelInsertXML50MB, in a process of its own, which reports its peak memory; the floor does
 *    the same document.
 * Prints documents/s, MB/s, the ratio of the floor's time to the procedure's, each the best of
 * three rounds (target: at least 0.5 for the small documents) and the peak memory (target:
 * under ten times the document).
 * Not a test; never gates CI.
 *
 * Usage: shred_bench [N]           both parts, N small documents (default 20000)
 *        shred_bench N calls|floor one path over N small documents, for instruction counts:
 *                                  valgrind --tool=callgrind --toggle-collect='*timedPath*'
 *        shred_bench big [MB]      the large document alone (default 50), both paths
 */
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "benchutil.h"
#include "kelctx.h"
#include "kelenable.h"
#include "kelmsg.h"
#include "kelSgDoc.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

using bench::check;
using xercesc::DOMElement;
using xercesc::DOMNode;

// ---- Documents ---------------------------------------------------------------------------------

// An order of about 1 KB: customer, date, three parts with notes, two shipments each.
std::string orderDoc(int n) {
  std::string d = "<Order key=\"" + std::to_string(n) + "\"><Customer><Name>Customer " + std::to_string(n % 997) +
                  "</Name><Email>buyer" + std::to_string(n % 997) + "@example.com</Email></Customer><OrderDate>2026-" +
                  std::to_string(10 + n % 3) + "-" + std::to_string(10 + n % 19) + "</OrderDate>";
  static const char *const kColors[] = {"red", "green", "blue"};
  for (int i = 0; i < 3; ++i) {
    d += "<Part color=\"" + std::string(kColors[i]) + "\"><key>" + std::to_string(n * 10 + i) + "</key><Quantity>" +
         std::to_string(1 + (n + i) % 9) + "</Quantity><ExtendedPrice>" + std::to_string(10 + i * 7 + n % 50) +
         ".25</ExtendedPrice><Note>Pack separately &amp; label with the order number; fragile, keep upright.</Note>";
    for (int s = 0; s < 2; ++s)
      d += "<Shipment><ShipDate>2026-11-" + std::to_string(10 + s * 5 + i) + "</ShipDate><ShipMode>" +
           (s == 0 ? "AIR" : "TRUCK") + "</ShipMode></Shipment>";
    d += "</Part>";
  }
  return d + "</Order>";
}

// One order of about mb megabytes: 10,000 parts whose notes make up the size.
std::string bigDoc(int mb) {
  const int parts = 10000;
  const size_t noteBytes = static_cast<size_t>(mb) * 1024 * 1024 / parts - 200;
  std::string note;
  while (note.size() < noteBytes) note += "Handle with care; the consignment is insured. ";
  note.resize(noteBytes);
  std::string d = "<Order key=\"1\"><Customer><Name>Large Customer</Name><Email>bulk@example.com</Email></Customer>"
                  "<OrderDate>2026-12-01</OrderDate>";
  d.reserve(static_cast<size_t>(mb) * 1024 * 1024 + 4096);
  for (int i = 0; i < parts; ++i)
    d += "<Part color=\"red\"><key>" + std::to_string(i) + "</key><Quantity>1</Quantity><ExtendedPrice>9.50"
         "</ExtendedPrice><Note>" + note + "</Note><Shipment><ShipDate>2026-12-02</ShipDate><ShipMode>TRUCK"
         "</ShipMode></Shipment></Part>";
  d += "</Order>";
  return d;
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- The procedures through the engine --------------------------------------------------------

// One CALL with a descriptor area: character inputs, at most one large object, return code and
// message.  Returns the procedure's return code; the message in *msg.
class ProcCall {
 public:
  // kinds: 's' string, 'n' null string, 'c' large object, then the return code and message.
  ProcCall(std::string proc, std::string kinds) : proc_(std::move(proc)), kinds_(std::move(kinds)) {
    const int n = static_cast<int>(kinds_.size()) + 2;
    area_.assign(static_cast<size_t>(SQLDASIZE(2 * n)), 0);
    da_ = reinterpret_cast<sqlda *>(area_.data());
    std::memcpy(da_->sqldaid, SQLDA_EYECATCHER, 8);
    da_->sqldabc = SQLDASIZE(2 * n);
    da_->sqln = static_cast<short>(2 * n);
    da_->sqld = static_cast<short>(n);
    inds_.assign(static_cast<size_t>(n), 0);
  }
  int call(const std::vector<const std::string *> &args, std::string *msg) {
    const int n = da_->sqld;
    for (int i = 0; i < n - 2; ++i) {
      sqlvar &v = da_->sqlvar[i];
      v.sqlind = &inds_[static_cast<size_t>(i)];
      inds_[static_cast<size_t>(i)] = kinds_[static_cast<size_t>(i)] == 'n' ? -1 : 0;
      const std::string *a = args[static_cast<size_t>(i)];
      if (kinds_[static_cast<size_t>(i)] == 'c') {
        v.sqltype = SQL_TYP_CLOB;
        v.sqllen = 0;
        v.sqldata = const_cast<char *>(a->data());
        lobLen_ = static_cast<sqluint32>(a->size());
        auto *ext = reinterpret_cast<sqlvar2 *>(&da_->sqlvar[i + n]);
        ext->len.sqllonglen = static_cast<sqlint64>(a->size());
        ext->sqldatalen = reinterpret_cast<char *>(&lobLen_);
      } else {
        v.sqltype = SQL_TYP_CSTR;
        v.sqllen = static_cast<short>(a != nullptr ? a->size() + 1 : 1);
        v.sqldata = const_cast<char *>(a != nullptr ? a->c_str() : "");
      }
    }
    sqlvar &rc = da_->sqlvar[n - 2];
    rc.sqltype = SQL_TYP_INTEGER;
    rc.sqllen = 4;
    rc.sqldata = reinterpret_cast<char *>(&returnCode_);
    rc.sqlind = &inds_[static_cast<size_t>(n - 2)];
    sqlvar &m = da_->sqlvar[n - 1];
    m.sqltype = SQL_TYP_VARCHAR;
    m.sqllen = KEL_MSG_BUFFER;
    m.sqldata = msgArea_;
    m.sqlind = &inds_[static_cast<size_t>(n - 1)];
    sqlca ca{};
    returnCode_ = 0;
    if (!check(quarn_call(proc_.c_str(), da_, &ca), ca, proc_.c_str())) return -1;
    short len;
    std::memcpy(&len, msgArea_, sizeof len);
    msg->assign(msgArea_ + 2, len > 0 ? static_cast<size_t>(len) : 0);
    return returnCode_;
  }

 private:
  std::string proc_, kinds_;
  std::vector<char> area_;
  sqlda *da_ = nullptr;
  std::vector<short> inds_;
  sqluint32 lobLen_ = 0;
  sqlint32 returnCode_ = 0;
  char msgArea_[2 + KEL_MSG_BUFFER + 1] = {};
};

// A fresh instance of this name with an enabled database and the collection "orders"; its path
// in *inst.
bool setUp(const char *instName, const std::string &dad, std::string *inst) {
  *inst = bench::freshInstance(instName);
  sqlca ca{};
  if (!bench::createAndRegister("BENCH", kelEnableList(), &ca)) return false;
  ProcCall enable("QUARNXML.KELENABLECOLLECTION", "sscn");
  const std::string db = "BENCH", name = "orders";
  std::string msg;
  if (enable.call({&db, &name, &dad, nullptr}, &msg) != 0) {
    std::fprintf(stderr, "enable collection: %s", msg.c_str());
    return false;
  }
  return check(quarn_commit(&ca), ca, "commit");
}

long countRows(const char *table) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  std::string sql = std::string("SELECT COUNT(*) FROM ") + table;
  if (quarn_prepare(sql.c_str(), &stmt, &ca) < 0) return -1;
  sqlint32 n = -1;
  short ind = 0;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, &n, &ind};
  if (quarn_open(stmt, 0, nullptr, &ca) >= 0) quarn_fetch(stmt, 1, &out, &ca);
  quarn_free_stmt(stmt);
  return n;
}

// Each document with one CALL; seconds, or a negative value after a failure.
double timedPathCalls(const std::string &proc, const std::vector<std::string> &docs) {
  ProcCall insert(proc, "sc");
  const std::string name = "orders";
  std::string msg;
  auto start = bench::Clock::now();
  for (const std::string &d : docs)
    if (insert.call({&name, &d}, &msg) != 0) {
      std::fprintf(stderr, "%s: %s", proc.c_str(), msg.c_str());
      return -1;
    }
  sqlca ca{};
  if (!check(quarn_commit(&ca), ca, "commit")) return -1;
  return bench::secondsSince(start);
}

// ---- The floor: parse, walk, insert through SQLite -------------------------------------------

struct Floor {
  sqlite3 *db = nullptr;
  sqlite3_stmt *order = nullptr, *part = nullptr, *ship = nullptr;
  KelCallContext ctx{};
  long rows = 0;

  bool open(const std::string &file) {
    std::filesystem::remove(file);
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
    sqlite3_exec(db,
                 "PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL; PRAGMA journal_mode = WAL;"
                 "CREATE TABLE orders (order_key INTEGER NOT NULL PRIMARY KEY, customer VARCHAR(40), email "
                 "VARCHAR(64), order_date DATE);"
                 "CREATE TABLE parts (color CHAR(6), part_key INTEGER NOT NULL PRIMARY KEY, qty INTEGER, price "
                 "DECIMAL(10,2), note CLOB, order_key INTEGER REFERENCES orders(order_key));"
                 "CREATE TABLE shipments (ship_date DATE NOT NULL, ship_mode CHAR(6), part_key INTEGER NOT NULL "
                 "REFERENCES parts(part_key), PRIMARY KEY (part_key, ship_date));",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO orders VALUES (?, ?, ?, ?)", -1, &order, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO parts VALUES (?, ?, ?, ?, ?, ?)", -1, &part, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO shipments VALUES (?, ?, ?)", -1, &ship, nullptr);
    char state[6], msg[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{0, 1208, nullptr};
    return order != nullptr && part != nullptr && ship != nullptr &&
           kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") >= 0;
  }
  void close() {
    sqlite3_finalize(order);
    sqlite3_finalize(part);
    sqlite3_finalize(ship);
    sqlite3_close(db);
    char state[6];
    kelTerm(&ctx, state);
  }

  static std::string utf8(const XMLCh *text) {
    char *s = xercesc::XMLString::transcode(text);
    std::string out = s != nullptr ? s : "";
    xercesc::XMLString::release(&s);
    return out;
  }
  static const DOMElement *child(const DOMNode *e, const char16_t *name) {
    for (const DOMNode *c = e->getFirstChild(); c != nullptr; c = c->getNextSibling())
      if (c->getNodeType() == DOMNode::ELEMENT_NODE && std::u16string_view(c->getNodeName()) == name)
        return static_cast<const DOMElement *>(c);
    return nullptr;
  }
  static std::string textOf(const DOMElement *e) { return e != nullptr ? utf8(e->getTextContent()) : std::string(); }
  void bind(sqlite3_stmt *s, int i, const std::string &v) {
    if (v.empty())
      sqlite3_bind_null(s, i);
    else
      sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  bool step(sqlite3_stmt *s) {
    bool ok = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_reset(s);
    ++rows;
    if (!ok) std::fprintf(stderr, "floor insert: %s\n", sqlite3_errmsg(db));
    return ok;
  }

  bool store(const std::string &doc) {
    xercesc::DOMDocument *parsed = nullptr;
    char state[6], msg[KEL_MSG_BUFFER + 1];
    if (kelDOM(&ctx, doc.c_str(), 1, KEL_DOC_IN_MEMORY, &parsed, state, msg) < 0) return false;
    KelDomDocument owner(parsed);
    const DOMElement *root = parsed->getDocumentElement();
    const std::string orderKey = utf8(root->getAttribute(u"key"));
    const DOMElement *customer = child(root, u"Customer");
    bind(order, 1, orderKey);
    bind(order, 2, textOf(customer != nullptr ? child(customer, u"Name") : nullptr));
    bind(order, 3, textOf(customer != nullptr ? child(customer, u"Email") : nullptr));
    bind(order, 4, textOf(child(root, u"OrderDate")));
    if (!step(order)) return false;
    for (const DOMNode *p = root->getFirstChild(); p != nullptr; p = p->getNextSibling()) {
      if (p->getNodeType() != DOMNode::ELEMENT_NODE || std::u16string_view(p->getNodeName()) != u"Part") continue;
      const auto *pe = static_cast<const DOMElement *>(p);
      const std::string partKey = textOf(child(pe, u"key"));
      bind(part, 1, utf8(pe->getAttribute(u"color")));
      bind(part, 2, partKey);
      bind(part, 3, textOf(child(pe, u"Quantity")));
      bind(part, 4, textOf(child(pe, u"ExtendedPrice")));
      bind(part, 5, textOf(child(pe, u"Note")));
      bind(part, 6, orderKey);
      if (!step(part)) return false;
      for (const DOMNode *s = pe->getFirstChild(); s != nullptr; s = s->getNextSibling()) {
        if (s->getNodeType() != DOMNode::ELEMENT_NODE || std::u16string_view(s->getNodeName()) != u"Shipment")
          continue;
        bind(ship, 1, textOf(child(s, u"ShipDate")));
        bind(ship, 2, textOf(child(s, u"ShipMode")));
        bind(ship, 3, partKey);
        if (!step(ship)) return false;
      }
    }
    return true;
  }
};

double timedPathFloor(Floor &floor, const std::vector<std::string> &docs) {
  auto start = bench::Clock::now();
  sqlite3_exec(floor.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (const std::string &d : docs)
    if (!floor.store(d)) return -1;
  sqlite3_exec(floor.db, "COMMIT", nullptr, nullptr, nullptr);
  return bench::secondsSince(start);
}

// The resident memory of the process now, in kilobytes.
long currentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The large document in this process: prints time and peak memory of each path.
int runBig(const std::string &dad, int mb) {
  std::string inst;
  if (!setUp("kelshredbig", dad, &inst)) return 1;
  const std::vector<std::string> docs = {bigDoc(mb)};
  const std::string &doc = docs.front();
  const double docMb = static_cast<double>(doc.size()) / (1024.0 * 1024.0);
  const long before = currentKilobytes();
  double calls = timedPathCalls("QUARNXML.KELINSERTXML50MB", docs);
  const long peak = peakKilobytes();
  if (calls < 0) return 1;
  std::printf("large document: %.1f MB, %ld parts stored by one kelInsertXML50MB call in %.2f s (%.1f MB/s)\n", docMb,
              countRows("parts"), calls, docMb / calls);
  // The call's own memory: the peak of the process less what it held before (the document
  // itself, the engine and the libraries).
  std::printf("  memory of the call %.0f MB (%.1fx the document; target under 10x); peak of the process %.0f MB,"
              " %.0f MB before the call\n",
              (peak - before) / 1024.0, (peak - before) / 1024.0 / docMb, peak / 1024.0, before / 1024.0);
  Floor floor;
  if (!floor.open(inst + "/floor.db")) return 1;
  double base = timedPathFloor(floor, docs);
  floor.close();
  if (base < 0) return 1;
  std::printf("  floor (parse, walk, SQLite): %.2f s (%.1f MB/s); ratio floor/call %.2f\n", base, docMb / base,
              base / calls);
  sqlca ca{};
  quarn_connect_reset(&ca);
  std::filesystem::remove_all(inst);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string dad = readFile(std::string(KEL_SOURCE_DIR) + "/tests/data/decompose/orders.dad");
  if (dad.empty()) {
    std::fprintf(stderr, "no DAD\n");
    return 1;
  }
  if (argc > 1 && std::strcmp(argv[1], "big") == 0) return runBig(dad, argc > 2 ? std::atoi(argv[2]) : 50);

  const int nDocs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const std::string mode = argc > 2 ? argv[2] : "";
  std::string inst;
  if (!setUp("kelshredbench", dad, &inst)) return 1;
  std::vector<std::string> docs;
  size_t bytes = 0;
  for (int i = 0; i < nDocs; ++i) {
    docs.push_back(orderDoc(i));
    bytes += docs.back().size();
  }
  const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);

  // Without a mode: the best of three rounds of each path, the calls' tables emptied and the
  // floor's database made anew between rounds, so one disturbed round on a busy machine does
  // not decide the ratio.  With a mode: one round of that path.
  const int rounds = mode.empty() ? 3 : 1;
  double calls = 1e30, base = 1e30;
  long floorRows = 0;
  for (int round = 0; round < rounds; ++round) {
    if (mode.empty() || mode == "calls") {
      if (round > 0) {
        sqlca ca{};
        for (const char *sql : {"DELETE FROM shipments", "DELETE FROM parts", "DELETE FROM orders"})
          if (!check(quarn_execute_immediate(sql, &ca), ca, sql)) return 1;
        if (!check(quarn_commit(&ca), ca, "commit")) return 1;
      }
      double t = timedPathCalls("QUARNXML.KELINSERTXML", docs);
      if (t < 0) return 1;
      calls = std::min(calls, t);
    }
    if (mode.empty() || mode == "floor") {
      Floor floor;
      if (!floor.open(inst + "/floor" + std::to_string(round) + ".db")) return 1;
      double t = timedPathFloor(floor, docs);
      floorRows = floor.rows;
      floor.close();
      if (t < 0) return 1;
      base = std::min(base, t);
    }
  }
  if (mode.empty() || mode == "calls")
    std::printf("%d documents of %.0f bytes on average, one kelInsertXML call each: %.2f s, %.0f documents/s, %.1f MB/s"
                " (%ld orders, %ld parts, %ld shipments)\n",
                nDocs, static_cast<double>(bytes) / nDocs, calls, nDocs / calls, mb / calls, countRows("orders"),
                countRows("parts"), countRows("shipments"));
  if (mode.empty() || mode == "floor")
    std::printf("floor (parse, walk, SQLite prepared statements): %.2f s, %.0f documents/s, %ld rows\n", base,
                nDocs / base, floorRows);
  sqlca ca{};
  quarn_connect_reset(&ca);
  std::filesystem::remove_all(inst);
  if (!mode.empty()) return 0;
  std::printf("ratio floor/calls %.2f, best of %d rounds each (target at least 0.50)\n", base / calls, rounds);

  // The large document in a process of its own, so that its peak memory is its own.
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", argv[0], "big", "50", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
