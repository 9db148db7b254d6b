/*
 * sideorders.h - the documents and the DAD of the side-table benchmarks (sidetable_bench,
 * verify_bench): orders of about 1 KB in an XMLVarchar column whose side tables hold customer
 * and status (one value each) and every item's price (several values).
 */
#ifndef KEL_BENCH_SIDEORDERS_H
#define KEL_BENCH_SIDEORDERS_H

#include <string>

namespace bench {

// An order of about 1 KB; every tenth is open, and every hundredth also has an item over 90.
inline std::string orderDoc(int n) {
  const char *status = n % 10 == 0 ? "open" : "shipped";
  std::string d = "<order id=\"" + std::to_string(n) + "\" status=\"" + status + "\"><customer>Customer " +
                  std::to_string(n % 97) + "</customer><date>2026-12-07</date><shipTo><name>Receiving department " +
                  std::to_string(n % 13) + "</name><street>" + std::to_string(100 + n % 900) +
                  " Harbour Road, Unit 4</street><city>Northbridge</city><zip>" + std::to_string(10000 + n % 89999) +
                  "</zip><country>Freeland</country></shipTo><payment method=\"invoice\" currency=\"EUR\" "
                  "terms=\"net 30 days\"/>";
  for (int i = 0; i < 5; ++i) {
    std::string price = (n % 100 == 0 && i == 2) ? "95.50" : std::to_string(10 + i + n % 7) + ".50";
    d += "<item sku=\"S" + std::to_string(n * 7 + i) + "\"><name>Item number " + std::to_string(i) +
         " of order</name><qty>" + std::to_string(i + 1) + "</qty><price>" + price + "</price></item>";
  }
  return d + "<reference>PO-2026-" + std::to_string(500000 + n) +
         "</reference><note>Deliver to the back door, ring twice &amp; wait. Fragile goods: keep upright.</note></order>";
}

inline constexpr char kSideDad[] =
    "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcolumn>"
    "<table name=\"bench.order_head\"><column name=\"customer\" type=\"varchar(40)\" path=\"/order/customer\" "
    "multi_occurrence=\"NO\"/><column name=\"status\" type=\"varchar(10)\" path=\"/order/@status\" "
    "multi_occurrence=\"NO\"/></table><table name=\"bench.order_price\"><column name=\"price\" type=\"double\" "
    "path=\"/order/item/price\" multi_occurrence=\"YES\"/></table></Xcolumn></DAD>";

}  // namespace bench

#endif /* KEL_BENCH_SIDEORDERS_H */
