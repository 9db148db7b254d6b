/*
 * compose_bench.cpp - composition of 20,000 purchase orders (1 to 5 items each, a customer
 * each, about 1 KB per document) into a result table, with an RDB_node DAD and with an
 * SQL-mapping DAD, against the floor of the same documents built by a plain C++ loop over
 * SQLite prepared statements: the same queries as each mapping runs, string concatenation and
 * one INSERT per document, measured in the same run.  Prints documents/s, the ratio to the
 * floor (target: at least 0.5) and the heap in use after a quarter of the documents and after
 * all of them (target: no growth with the number of documents).  Each path runs once as a
 * warm-up and is then timed as the best of three.  Not a test.
 *
 * `compose_bench N rdb|sql|floorrdb|floorsql|setup` runs one path once over N orders, for
 * instruction counts (setup only builds the data: subtract it):
 *   valgrind --tool=callgrind --toggle-collect='*runPath*' build/bin/compose_bench 2000 rdb
 */
#include <sqlite3.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "benchutil.h"
#include "kelcomp.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "quarnapp.h"

namespace {

using bench::check;

KelCallContext ctx{};
char state[6], msg[KEL_MSG_BUFFER + 1];

const char kProlog[] = "<?xml version=\"1.0\"?>";

// ---- The data ----------------------------------------------------------------------------------

struct Item {
  int no, qty;
  std::string product, price, comment;
};
struct Order {
  std::string id, cust, ordered, status, note;
  std::vector<Item> items;
};
struct Customer {
  std::string id, name, street, city, email;
};

struct Data {
  std::vector<Customer> customers;
  std::vector<Order> orders;
};

Data makeData(int nOrders) {
  Data d;
  unsigned seed = 12345;
  auto next = [&seed]() { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const int nCustomers = nOrders / 10 + 1;
  char buf[64];
  for (int c = 0; c < nCustomers; ++c) {
    std::snprintf(buf, sizeof buf, "C%06d", c);
    d.customers.push_back({buf, "Customer " + std::to_string(c) + " & Sons Trading",
                           std::to_string(10 + c % 900) + " Harbour Road, Unit " + std::to_string(c % 40),
                           c % 3 ? "Northbridge" : "Southport", "orders" + std::to_string(c) + "@example.com"});
  }
  for (int o = 0; o < nOrders; ++o) {
    Order order;
    std::snprintf(buf, sizeof buf, "P%07d", o);
    order.id = buf;
    order.cust = d.customers[next() % nCustomers].id;
    std::snprintf(buf, sizeof buf, "2025-%02u-%02u", 1 + next() % 12, 1 + next() % 28);
    order.ordered = buf;
    order.status = next() % 4 ? "open" : "shipped";
    order.note = "Deliver to the back door, ring twice <please> and wait; call the office if nobody answers. "
                 "Reference of order " + std::to_string(o) + ".";
    int n = 1 + static_cast<int>(next() % 5);
    for (int i = 1; i <= n; ++i) {
      unsigned cents = 100 + next() % 9900;
      std::snprintf(buf, sizeof buf, "%u.%02u", cents / 100, 1 + cents % 99);
      order.items.push_back({i, 1 + static_cast<int>(next() % 9), "Hand-glazed stoneware product number " + std::to_string(next() % 5000),
                             buf, "Keep dry & upright, fragile: no more than three cartons high"});
    }
    d.orders.push_back(std::move(order));
  }
  return d;
}

const char *kTables[] = {
    "CREATE TABLE sales.customers (cust_id VARCHAR(8) NOT NULL PRIMARY KEY, name VARCHAR(60), street VARCHAR(60), "
    "city VARCHAR(30), email VARCHAR(60))",
    "CREATE TABLE sales.orders (order_id VARCHAR(8) NOT NULL PRIMARY KEY, cust_id VARCHAR(8) NOT NULL, ordered "
    "VARCHAR(10), status VARCHAR(10), note VARCHAR(200))",
    "CREATE TABLE sales.items (order_id VARCHAR(8) NOT NULL, item_no INTEGER NOT NULL, product VARCHAR(60), qty "
    "INTEGER, price VARCHAR(12), comment VARCHAR(80), PRIMARY KEY (order_id, item_no))",
    "CREATE TABLE res (doc VARCHAR(4000))",
};

// ---- The DADs ----------------------------------------------------------------------------------

std::string rdbNode(const char *table, const char *column) {
  return std::string("<RDB_node><table name=\"sales.") + table + "\"/><column name=\"" + column + "\"/></RDB_node>";
}
std::string textElement(const char *name, const char *table, const char *column) {
  return std::string("<element_node name=\"") + name + "\"><text_node>" + rdbNode(table, column) +
         "</text_node></element_node>";
}
std::string attribute(const char *name, const char *table, const char *column) {
  return std::string("<attribute_node name=\"") + name + "\">" + rdbNode(table, column) + "</attribute_node>";
}

const char kHead[] = "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcollection>";
const char kTail[] = "</root_node></Xcollection></DAD>";

std::string rdbDad() {
  return std::string(kHead) + "<prolog>?xml version=\"1.0\"?</prolog><root_node><element_node name=\"Order\">" +
         "<RDB_node><table name=\"sales.orders\" orderBy=\"order_id\"/><table name=\"sales.customers\"/>"
         "<table name=\"sales.items\" orderBy=\"item_no\"/><condition>sales.orders.cust_id = sales.customers.cust_id "
         "AND sales.orders.order_id = sales.items.order_id</condition></RDB_node>" +
         attribute("id", "orders", "order_id") + attribute("status", "orders", "status") +
         textElement("Date", "orders", "ordered") +
         "<element_node name=\"Customer\" multi_occurrence=\"YES\">" + textElement("Name", "customers", "name") +
         textElement("Street", "customers", "street") + textElement("City", "customers", "city") +
         textElement("Email", "customers", "email") + "</element_node>" +
         "<element_node name=\"Item\" multi_occurrence=\"YES\">" + attribute("no", "items", "item_no") +
         textElement("Product", "items", "product") + textElement("Quantity", "items", "qty") +
         textElement("Price", "items", "price") + textElement("Comment", "items", "comment") + "</element_node>" +
         textElement("Note", "orders", "note") + "</element_node>" + kTail;
}

const char kSelect[] =
    "SELECT o.order_id, o.status, o.ordered, c.name, c.street, c.city, c.email, o.note, i.item_no, i.product, "
    "i.qty, i.price, i.comment FROM sales.orders o, sales.customers c, sales.items i WHERE o.cust_id = c.cust_id AND "
    "i.order_id = o.order_id";

std::string sqlDad() {
  auto col = [](const char *name, const char *column) {
    return std::string("<element_node name=\"") + name + "\"><text_node><column name=\"" + column +
           "\"/></text_node></element_node>";
  };
  auto att = [](const char *name, const char *column) {
    return std::string("<attribute_node name=\"") + name + "\"><column name=\"" + column + "\"/></attribute_node>";
  };
  return std::string(kHead) + "<SQL_stmt>" + kSelect + " ORDER BY order_id, item_no</SQL_stmt>" +
         "<prolog>?xml version=\"1.0\"?</prolog><root_node><element_node name=\"Order\">" + att("id", "order_id") +
         att("status", "status") + col("Date", "ordered") + "<element_node name=\"Customer\">" + col("Name", "name") +
         col("Street", "street") + col("City", "city") + col("Email", "email") + "</element_node>" +
         "<element_node name=\"Item\" multi_occurrence=\"YES\">" + att("no", "item_no") + col("Product", "product") +
         col("Quantity", "qty") + col("Price", "price") + col("Comment", "comment") + "</element_node>" +
         col("Note", "note") + "</element_node>" + kTail;
}

// ---- The engine: loading and composing ---------------------------------------------------------

bool exec(const std::string &sql) {
  sqlca ca{};
  return check(quarn_execute_immediate(sql.c_str(), &ca), ca, sql.c_str());
}

bool insertRows(const char *sql, const std::vector<std::vector<std::string>> &rows) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (!check(quarn_prepare(sql, &stmt, &ca), ca, sql)) return false;
  for (const auto &row : rows) {
    std::vector<quarn_hostvar> in;
    for (const std::string &v : row)
      in.push_back({SQL_TYP_CSTR, static_cast<sqlint32>(v.size() + 1), const_cast<char *>(v.c_str()), nullptr});
    if (!check(quarn_execute(stmt, static_cast<int>(in.size()), in.data(), &ca), ca, sql)) return false;
  }
  quarn_free_stmt(stmt);
  return true;
}

bool loadEngine(const Data &d) {
  for (const char *t : kTables)
    if (!exec(t)) return false;
  std::vector<std::vector<std::string>> customers, orders, items;
  for (const Customer &c : d.customers) customers.push_back({c.id, c.name, c.street, c.city, c.email});
  for (const Order &o : d.orders) {
    orders.push_back({o.id, o.cust, o.ordered, o.status, o.note});
    for (const Item &i : o.items)
      items.push_back({o.id, std::to_string(i.no), i.product, std::to_string(i.qty), i.price, i.comment});
  }
  sqlca ca{};
  return insertRows("INSERT INTO sales.customers VALUES (?, ?, ?, ?, ?)", customers) &&
         insertRows("INSERT INTO sales.orders VALUES (?, ?, ?, ?, ?)", orders) &&
         insertRows("INSERT INTO sales.items VALUES (?, ?, ?, ?, ?, ?)", items) &&
         check(quarn_commit(&ca), ca, "commit");
}

// The measured part of every path (named for callgrind's --toggle-collect).
__attribute__((noinline)) long runPath(const std::string &dad) {
  KelComposeArgs args;
  args.dad = dad.c_str();
  args.toTable = true;
  args.table = "RES";
  KelComposeResult result;
  int rc = kelComposeXML(&ctx, args, &result, state, msg);
  if (rc != 0) {
    std::fprintf(stderr, "composition failed (%d): %s", rc, msg);
    return -1;
  }
  return static_cast<long>(result.numDocs);
}

// ---- The floor: the same documents straight from SQLite ----------------------------------------

void escaped(std::string *out, const char *v) {
  for (; *v; ++v) switch (*v) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      case '\'': *out += "&apos;"; break;
      default: *out += *v;
    }
}
const char *col(sqlite3_stmt *s, int i) {
  const unsigned char *t = sqlite3_column_text(s, i);
  return t != nullptr ? reinterpret_cast<const char *>(t) : "";
}
void element(std::string *doc, int indent, const char *name, const char *value) {
  *doc += '\n';
  doc->append(static_cast<size_t>(indent), ' ');
  *doc += '<';
  *doc += name;
  *doc += '>';
  escaped(doc, value);
  *doc += "</";
  *doc += name;
  *doc += '>';
}

struct Floor {
  sqlite3 *db = nullptr;
  ~Floor() {
    if (db != nullptr) sqlite3_close(db);
  }
  bool load(const Data &d, const std::string &file) {
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
    // The engine's own settings.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
                 "PRAGMA mmap_size=268435456;", nullptr, nullptr, nullptr);
    for (const char *t : kTables) {
      std::string ddl = t;
      for (size_t at = ddl.find("sales."); at != std::string::npos; at = ddl.find("sales.")) ddl.replace(at, 6, "");
      if (sqlite3_exec(db, ddl.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *c = nullptr, *o = nullptr, *i = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO customers VALUES (?, ?, ?, ?, ?)", -1, &c, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO orders VALUES (?, ?, ?, ?, ?)", -1, &o, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO items VALUES (?, ?, ?, ?, ?, ?)", -1, &i, nullptr);
    auto run = [](sqlite3_stmt *s, const std::vector<std::string> &v) {
      for (size_t k = 0; k < v.size(); ++k) sqlite3_bind_text(s, static_cast<int>(k + 1), v[k].c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(s);
      sqlite3_reset(s);
    };
    for (const Customer &x : d.customers) run(c, {x.id, x.name, x.street, x.city, x.email});
    for (const Order &x : d.orders) {
      run(o, {x.id, x.cust, x.ordered, x.status, x.note});
      for (const Item &y : x.items) {
        sqlite3_bind_text(i, 1, x.id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(i, 2, y.no);
        sqlite3_bind_text(i, 3, y.product.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(i, 4, y.qty);
        sqlite3_bind_text(i, 5, y.price.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(i, 6, y.comment.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(i);
        sqlite3_reset(i);
      }
    }
    sqlite3_finalize(c);
    sqlite3_finalize(o);
    sqlite3_finalize(i);
    return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  // The item part of a document from a statement whose columns from first on are item_no,
  // product, qty, price, comment.
  static void items(std::string *doc, sqlite3_stmt *s, int first) {
    *doc += "\n  <Item no=\"";
    escaped(doc, col(s, first));
    *doc += "\">";
    element(doc, 4, "Product", col(s, first + 1));
    element(doc, 4, "Quantity", col(s, first + 2));
    element(doc, 4, "Price", col(s, first + 3));
    element(doc, 4, "Comment", col(s, first + 4));
    *doc += "\n  </Item>";
  }

  // The RDB_node mapping's queries: the orders, then per order its customer and its items.
  __attribute__((noinline)) long runPathRdb(std::string *first) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *top = nullptr, *cust = nullptr, *item = nullptr, *ins = nullptr;
    sqlite3_prepare_v2(db, "SELECT order_id, status, ordered, note, cust_id FROM orders ORDER BY order_id", -1, &top,
                       nullptr);
    sqlite3_prepare_v2(db, "SELECT name, street, city, email FROM customers WHERE cust_id = ?", -1, &cust, nullptr);
    sqlite3_prepare_v2(db, "SELECT item_no, product, qty, price, comment FROM items WHERE order_id = ? ORDER BY item_no",
                       -1, &item, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO res VALUES (?)", -1, &ins, nullptr);
    long n = 0;
    std::string doc;
    while (sqlite3_step(top) == SQLITE_ROW) {
      doc = kProlog;
      doc += "\n<Order id=\"";
      escaped(&doc, col(top, 0));
      doc += "\" status=\"";
      escaped(&doc, col(top, 1));
      doc += "\">";
      element(&doc, 2, "Date", col(top, 2));
      sqlite3_bind_text(cust, 1, col(top, 4), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(cust) == SQLITE_ROW) {
        doc += "\n  <Customer>";
        element(&doc, 4, "Name", col(cust, 0));
        element(&doc, 4, "Street", col(cust, 1));
        element(&doc, 4, "City", col(cust, 2));
        element(&doc, 4, "Email", col(cust, 3));
        doc += "\n  </Customer>";
      }
      sqlite3_reset(cust);
      sqlite3_bind_text(item, 1, col(top, 0), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(item) == SQLITE_ROW) items(&doc, item, 0);
      sqlite3_reset(item);
      element(&doc, 2, "Note", col(top, 3));
      doc += "\n</Order>";
      sqlite3_bind_text(ins, 1, doc.c_str(), static_cast<int>(doc.size()), SQLITE_STATIC);
      sqlite3_step(ins);
      sqlite3_reset(ins);
      if (n++ == 0) *first = doc;
    }
    for (sqlite3_stmt *s : {top, cust, item, ins}) sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return n;
  }

  // The SQL mapping's queries: the level-0 columns of the statement once, then per order the
  // items of the statement filtered on the order's key.
  __attribute__((noinline)) long runPathSql(std::string *first) {
    std::string select = kSelect;
    for (size_t at = select.find("sales."); at != std::string::npos; at = select.find("sales.")) select.replace(at, 6, "");
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *top = nullptr, *child = nullptr, *ins = nullptr;
    std::string topSql = "SELECT order_id, status, ordered, name, street, city, email, note FROM (" + select +
                         ") kel_tab_exp ORDER BY order_id";
    std::string childSql = "SELECT order_id, item_no, product, qty, price, comment FROM (SELECT * FROM (" + select +
                           ") kel_tab_exp WHERE order_id = ?) kel_tab_exp ORDER BY item_no";
    sqlite3_prepare_v2(db, topSql.c_str(), -1, &top, nullptr);
    sqlite3_prepare_v2(db, childSql.c_str(), -1, &child, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO res VALUES (?)", -1, &ins, nullptr);
    long n = 0;
    std::string doc, last;
    bool any = false;
    while (sqlite3_step(top) == SQLITE_ROW) {
      const char *key = col(top, 0);
      if (any && last == key) continue;
      any = true;
      last = key;
      doc = kProlog;
      doc += "\n<Order id=\"";
      escaped(&doc, key);
      doc += "\" status=\"";
      escaped(&doc, col(top, 1));
      doc += "\">";
      element(&doc, 2, "Date", col(top, 2));
      doc += "\n  <Customer>";
      element(&doc, 4, "Name", col(top, 3));
      element(&doc, 4, "Street", col(top, 4));
      element(&doc, 4, "City", col(top, 5));
      element(&doc, 4, "Email", col(top, 6));
      doc += "\n  </Customer>";
      sqlite3_bind_text(child, 1, key, -1, SQLITE_TRANSIENT);
      while (sqlite3_step(child) == SQLITE_ROW) items(&doc, child, 1);
      sqlite3_reset(child);
      element(&doc, 2, "Note", col(top, 7));
      doc += "\n</Order>";
      sqlite3_bind_text(ins, 1, doc.c_str(), static_cast<int>(doc.size()), SQLITE_STATIC);
      sqlite3_step(ins);
      sqlite3_reset(ins);
      if (n++ == 0) *first = doc;
    }
    for (sqlite3_stmt *s : {top, child, ins}) sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return n;
  }
};

// The heap in use now, in KB (resident memory would count the pages of the database file the
// engine maps, which grow with the rows inserted).
long heapKb() { return static_cast<long>(mallinfo2().uordblks / 1024); }

// The first document the engine path stored.
std::string firstStored() {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (quarn_prepare("SELECT doc FROM res ORDER BY doc FETCH FIRST 1 ROWS ONLY", &stmt, &ca) < 0) return "";
  std::vector<char> text(8192);
  quarn_hostvar out{SQL_TYP_CSTR, static_cast<sqlint32>(text.size()), text.data(), nullptr};
  std::string doc;
  if (quarn_open(stmt, 0, nullptr, &ca) >= 0 && quarn_fetch(stmt, 1, &out, &ca) == 0) doc = text.data();
  quarn_free_stmt(stmt);
  return doc;
}

}  // namespace

int main(int argc, char **argv) {
  const int nOrders = argc > 1 ? std::atoi(argv[1]) : 20000;
  const std::string mode = argc > 2 ? argv[2] : "";
  const std::string inst = bench::freshInstance("kelcompbench");
  setenv("QUARNKELTEMP", inst.c_str(), 1);
  sqlca ca{};
  if (!bench::createAndConnect("CBENCH", &ca)) return 1;
  KelCodePageRequest request{0, 1208, nullptr};
  if (kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") < 0) return 1;

  const Data data = makeData(nOrders);
  long items = 0;
  for (const Order &o : data.orders) items += static_cast<long>(o.items.size());
  Floor floor;
  if (!loadEngine(data) || !floor.load(data, inst + "/floor.sqlite")) return 1;
  const std::string rdb = rdbDad(), sql = sqlDad();

  std::string firstFloor;
  if (!mode.empty()) {
    long n = mode == "rdb" ? runPath(rdb) : mode == "sql" ? runPath(sql)
           : mode == "floorrdb" ? floor.runPathRdb(&firstFloor) : mode == "floorsql" ? floor.runPathSql(&firstFloor)
           : 0;
    std::printf("%s: %ld documents\n", mode.c_str(), n);
    kelTerm(&ctx, state);
    quarn_connect_reset(&ca);
    std::filesystem::remove_all(inst);
    return n < 0 ? 1 : 0;
  }

  std::printf("compose_bench: %d orders, %ld items, %zu customers\n", nOrders, items, data.customers.size());
  struct Result {
    double docsPerSec;
    long kbQuarter, kbAll;
  };
  auto measureEngine = [&](const std::string &dad, std::string *first) -> Result {
    Result r{};
    // A quarter of the documents first (the warm-up), then all of them, best of three.
    KelComposeArgs args;
    args.dad = dad.c_str();
    args.toTable = true;
    args.table = "RES";
    args.maxRows = nOrders / 4;
    KelComposeResult result;
    exec("DELETE FROM res");
    kelComposeXML(&ctx, args, &result, state, msg);
    quarn_commit(&ca);
    r.kbQuarter = heapKb();
    double best = 0;
    for (int pass = 0; pass < 3; ++pass) {
      exec("DELETE FROM res");
      quarn_commit(&ca);
      auto t0 = bench::Clock::now();
      long n = runPath(dad);
      quarn_commit(&ca);
      double s = bench::secondsSince(t0);
      if (n > 0 && (best == 0 || s < best)) best = s;
    }
    r.kbAll = heapKb();
    r.docsPerSec = best > 0 ? nOrders / best : 0;
    *first = firstStored();
    return r;
  };
  auto measureFloor = [&](bool sqlPath, std::string *first) {
    double best = 0;
    for (int pass = 0; pass < 4; ++pass) {  // the first is the warm-up
      sqlite3_exec(floor.db, "DELETE FROM res", nullptr, nullptr, nullptr);
      auto t0 = bench::Clock::now();
      long n = sqlPath ? floor.runPathSql(first) : floor.runPathRdb(first);
      double s = bench::secondsSince(t0);
      if (pass > 0 && n > 0 && (best == 0 || s < best)) best = s;
    }
    return best > 0 ? nOrders / best : 0;
  };

  for (int path = 0; path < 2; ++path) {
    const bool sqlPath = path == 1;
    std::string engineFirst, floorFirst;
    Result r = measureEngine(sqlPath ? sql : rdb, &engineFirst);
    double f = measureFloor(sqlPath, &floorFirst);
    std::printf("%-12s %9.0f documents/s   floor %9.0f documents/s   ratio %.2f   heap %ld KB after %d, %ld KB "
                "after %d%s\n",
                sqlPath ? "SQL mapping" : "RDB_node", r.docsPerSec, f, f > 0 ? r.docsPerSec / f : 0.0, r.kbQuarter,
                nOrders / 4, r.kbAll, nOrders, engineFirst == floorFirst ? "" : "   (documents differ!)");
    if (engineFirst != floorFirst)
      std::fprintf(stderr, "engine:\n%s\nfloor:\n%s\n", engineFirst.c_str(), floorFirst.c_str());
  }
  sqlca sizeCa{};
  quarn_stmt *avg = nullptr;
  sqlint32 avgBytes = 0;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, &avgBytes, nullptr};
  if (quarn_prepare("SELECT INTEGER(AVG(LENGTH(doc))) FROM res", &avg, &sizeCa) >= 0 &&
      quarn_open(avg, 0, nullptr, &sizeCa) >= 0 && quarn_fetch(avg, 1, &out, &sizeCa) == 0)
    std::printf("documents of %d bytes on average\n", static_cast<int>(avgBytes));
  if (avg != nullptr) quarn_free_stmt(avg);
  kelTerm(&ctx, state);
  quarn_connect_reset(&ca);
  std::filesystem::remove_all(inst);
  return 0;
}
