/*
 * extract_bench.cpp - throughput of the extraction engine against a raw SAX2 scan of the same
 * bytes with an empty handler and the same parser settings (reader reused, input source of the
 * same kind), measured in one run: (a) 20,000 order documents of about 1 KB in memory, (b) one
 * document of about 50 MB.  Prints documents/s, MB/s and the ratio to the raw scan.  Not a
 * test: it never fails a build.
 */
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kelctx.h"
#include "kelextract.h"
#include "kelmsg.h"

using namespace xercesc;

namespace {

std::string orderDoc(int n) {
  std::string d = "<?xml version=\"1.0\"?><order id=\"" + std::to_string(n) + "\"><customer>Customer " +
                  std::to_string(n % 97) + "</customer><date>2026-12-07</date>";
  for (int i = 0; i < 6; ++i) {
    d += "<item sku=\"S" + std::to_string(n * 7 + i) + "\" kind=\"" + (i % 2 ? "book" : "cd") +
         "\"><name>Item number " + std::to_string(i) + " of order</name><qty>" + std::to_string(i + 1) +
         "</qty><price>" + std::to_string(10 + i) + ".50</price></item>";
  }
  d += "<note>Deliver to the back door, ring twice &amp; wait.</note></order>";
  return d;
}

// One document of at least mb megabytes: order documents under one root.
std::string bigDoc(size_t mb) {
  std::string big = "<?xml version=\"1.0\"?><orders>";
  for (int i = 0; big.size() < mb * 1000 * 1000; ++i) {
    std::string d = orderDoc(i);
    big += d.substr(d.find("<order "));
  }
  big += "</orders>";
  return big;
}

double seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

struct Raw {
  std::unique_ptr<SAX2XMLReader> reader{XMLReaderFactory::createXMLReader()};
  DefaultHandler handler;
  Raw() {
    reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
    reader->setFeature(XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(XMLUni::fgXercesSchema, false);
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    reader->setLexicalHandler(&handler);
  }
  void scan(const std::string &doc) {
    // A UTF-16 system id, as the extraction's input source has: no transcoding per document.
    MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"raw", false);
    reader->parse(src);
  }
};

void report(const char *what, size_t docs, size_t bytes, double t, double rawT) {
  std::printf("%-34s %10.0f docs/s %8.1f MB/s  ratio to raw scan %.2f\n", what, docs / t,
              bytes / t / 1e6, rawT / t);
}

}  // namespace

/*
 * With arguments "raw|one|onecp|all N" it runs only that part over N small documents, once;
 * with "bigraw|big1|bigall MB" only that part over one document of MB megabytes; "gen N" and
 * "biggen MB" only generate the documents.  So `valgrind --tool=callgrind` can compare
 * instruction counts (subtract the generation run of the same size).
 */
int single(const char *mode, int n, KelCallContext *ctx) {
  char state[6], msg[KEL_MSG_BUFFER + 1];
  std::string m = mode;
  if (m.compare(0, 3, "big") == 0) {
    std::string big = bigDoc(static_cast<size_t>(n));
    if (m == "bigraw") {
      Raw raw;
      raw.scan(big);
    } else if (m == "big1" || m == "bigall") {
      KelExtractor extractor(ctx);
      KelExtractResult result{};
      extractor.runBuffer(big.data(), big.size(), nullptr, 0, 0, m == "big1" ? "/orders/order/@id" : "//item/price",
                          &result, 4000, state, msg);
      kelFreeExtractResult(&result);
    }
    return 0;
  }
  std::vector<std::string> docs;
  for (int i = 0; i < n; ++i) docs.push_back(orderDoc(i));
  if (m == "gen") return 0;
  if (m == "raw") {
    Raw raw;
    for (const std::string &d : docs) raw.scan(d);
    return 0;
  }
  KelExtractor extractor(ctx);
  KelExtractResult result{};
  const char *path = m == "one" || m == "onecp" ? "/order/@id" : "//item/price";
  int cpFlag = m == "onecp" ? 1 : 0;  // the document read in the database code page's encoding
  for (const std::string &d : docs) {
    extractor.runBuffer(d.data(), d.size(), nullptr, cpFlag, 0, path, &result, 4000, state, msg);
    kelFreeExtractResult(&result);
  }
  return 0;
}

int main(int argc, char **argv) {
  std::string dir = (std::filesystem::temp_directory_path() / "kelbench").string();
  std::filesystem::create_directories(dir);
  setenv("QUARNINSTANCE", "bench", 1);
  setenv("QUARNKELPATH", dir.c_str(), 1);
  KelCallContext ctx{};
  char state[6], msg[KEL_MSG_BUFFER + 1];
  KelCodePageRequest request{0, 1208, nullptr};
  if (kelInit(&ctx, KEL_SHORT_MESSAGES, &request, state, msg, "UTF-8") < 0) {
    std::fprintf(stderr, "kelInit failed: %s\n", msg);
    return 1;
  }

  if (argc == 3) {
    int rc = single(argv[1], std::atoi(argv[2]), &ctx);
    kelTerm(&ctx, state);
    std::filesystem::remove_all(dir);
    return rc;
  }

  std::vector<std::string> docs;
  size_t bytes = 0;
  for (int i = 0; i < 20000; ++i) {
    docs.push_back(orderDoc(i));
    bytes += docs.back().size();
  }
  std::string big = bigDoc(50);

  for (int pass = 0; pass < 2; ++pass) {
    bool print = pass == 1;  // the first pass warms caches and allocators
    Raw raw;
    auto t0 = std::chrono::steady_clock::now();
    for (const std::string &d : docs) raw.scan(d);
    double rawSmall = seconds(t0);

    KelExtractor extractor(&ctx);
    KelExtractResult result{};
    size_t found = 0;
    t0 = std::chrono::steady_clock::now();
    for (const std::string &d : docs) {
      extractor.runBuffer(d.data(), d.size(), nullptr, 0, 0, "/order/@id", &result, 4000, state, msg);
      found += result.items && result.items[0] ? 1 : 0;
      kelFreeExtractResult(&result);
    }
    double oneSmall = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    for (const std::string &d : docs) {
      extractor.runBuffer(d.data(), d.size(), nullptr, 0, 0, "//item/price", &result, 4000, state, msg);
      for (char **p = result.items; p && *p; ++p) ++found;
      kelFreeExtractResult(&result);
    }
    double allSmall = seconds(t0);

    t0 = std::chrono::steady_clock::now();
    raw.scan(big);
    double rawBig = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    extractor.runBuffer(big.data(), big.size(), nullptr, 0, 0, "/orders/order/@id", &result, 4000, state, msg);
    kelFreeExtractResult(&result);
    double oneBig = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    extractor.runBuffer(big.data(), big.size(), nullptr, 0, 0, "//item/price", &result, 4000, state, msg);
    for (char **p = result.items; p && *p; ++p) ++found;
    kelFreeExtractResult(&result);
    double allBig = seconds(t0);

    if (!print) continue;
    std::printf("(a) %zu documents, %.1f MB in memory\n", docs.size(), bytes / 1e6);
    report("raw SAX2 scan", docs.size(), bytes, rawSmall, rawSmall);
    report("extract one value (/order/@id)", docs.size(), bytes, oneSmall, rawSmall);
    report("extract all (//item/price)", docs.size(), bytes, allSmall, rawSmall);
    std::printf("(b) one document, %.1f MB\n", big.size() / 1e6);
    report("raw SAX2 scan", 1, big.size(), rawBig, rawBig);
    report("extract (/orders/order/@id)", 1, big.size(), oneBig, rawBig);
    report("extract all (//item/price)", 1, big.size(), allBig, rawBig);
    std::printf("(%zu values found)\n", found);
  }
  kelTerm(&ctx, state);
  std::filesystem::remove_all(dir);
  return 0;
}
