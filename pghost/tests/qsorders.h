/*
 * qsorders.h - the order documents of the PostgreSQL host's agreement test and benchmark: N
 * orders of about 1 KB made from a seed (42 unless told), the same bytes in every run and on
 * every platform (the generator's raw output only, never a library distribution).  Each order
 * has an id attribute 1..N, a customer name (some with non-ASCII letters), a shipping zip code,
 * in about two of three orders a note, and 1 to 10 items with a part number, a description
 * holding "&amp;", a quantity and a price.  The manifest sums what a reader must find.
 * Header-only; no state.
 */
#ifndef QS_ORDERS_H
#define QS_ORDERS_H

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace qspg {

struct Orders {
  std::vector<std::string> docs;  // docs[i] has id i + 1
  long long sumId = 0;            // of every order's id
  long long items = 0;            // items in all orders
  long long notes = 0;            // orders with a note
  double priceSum = 0;            // of every item's price
};

inline Orders makeOrders(int n, uint32_t seed = 42) {
  static const char *const kFirst[] = {"Anna", "Bernd", "Chloé", "Dario", "Eva", "Fritz", "Greta", "Håkon", "Ines", "Jörg"};
  static const char *const kLast[] = {"Meier", "Schmidt", "Müller", "Novak", "Rossi", "Dubois", "Lund", "Kowalski"};
  static const char *const kWords[] = {"steel", "bolt", "washer", "bracket", "hinge", "cable", "panel", "spring",
                                       "valve", "gasket", "clamp", "rivet"};
  std::mt19937 rng(seed);
  auto pick = [&](uint32_t m) { return static_cast<uint32_t>(rng() % m); };
  Orders out;
  out.docs.reserve(static_cast<size_t>(n));
  for (int id = 1; id <= n; ++id) {
    std::string d = "<order id=\"" + std::to_string(id) + "\"><customer><name>" + kFirst[pick(10)] + " " +
                    kLast[pick(8)] + "</name><email>c" + std::to_string(pick(100000)) +
                    "@example.org</email></customer><date>2026-" + std::to_string(10 + pick(3)) + "-" +
                    std::to_string(10 + pick(19)) + "</date><ship><street>" + std::to_string(1 + pick(300)) +
                    " Harbour Road, Unit " + std::to_string(1 + pick(40)) + "</street><city>Northbridge</city><zip>" +
                    std::to_string(10000 + pick(90000)) + "</zip><country>Freeland</country></ship><payment method=\"" +
                    (pick(2) ? "invoice" : "card") + "\" currency=\"EUR\" terms=\"net 30 days\"/><reference>PO-2026-" +
                    std::to_string(100000 + pick(900000)) + "</reference>";
    if (pick(3) != 0) {
      d += "<note>Deliver to gate " + std::to_string(1 + pick(9)) + " &amp; call ahead; fragile goods.</note>";
      ++out.notes;
    }
    int items = 1 + static_cast<int>(pick(10));
    for (int k = 0; k < items; ++k) {
      int cents = 100 + static_cast<int>(pick(99900));
      char price[32];
      std::snprintf(price, sizeof price, "%d.%02d", cents / 100, cents % 100);
      d += "<item><part>P-" + std::to_string(10000 + pick(90000)) + "</part><desc>" + kWords[pick(12)] + " " +
           kWords[pick(12)] + " &amp; " + kWords[pick(12)] + "</desc><qty>" + std::to_string(1 + pick(20)) +
           "</qty><price>" + price + "</price></item>";
      out.priceSum += cents / 100.0;
    }
    d += "</order>";
    out.items += items;
    out.sumId += id;
    out.docs.push_back(std::move(d));
  }
  return out;
}

}  // namespace qspg

#endif /* QS_ORDERS_H */
