/*
 * keldad_testutil.h - what the DAD layer's tests share: a fixture with a call context that
 * parses DAD texts into DOMs it keeps for the test, reads the DADs and golden files of
 * tests/data/dad, and compares a text with a golden file (KEL_UPDATE_GOLDEN=1 rewrites it).
 */
#ifndef KEL_DAD_TESTUTIL_H
#define KEL_DAD_TESTUTIL_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"

namespace keltest {

inline std::string dadData(const std::string &name) {
  return readFile(sourceDir() + "/tests/data/dad/" + name);
}

// Compares text with the golden file tests/data/<dir>/<name>, rewriting it first when asked.
inline void expectGolden(const std::string &dir, const std::string &name, const std::string &text) {
  std::string path = sourceDir() + "/tests/data/" + dir + "/" + name;
  const char *update = std::getenv("KEL_UPDATE_GOLDEN");
  if (update != nullptr && std::strcmp(update, "1") == 0) writeFile(path, text);
  EXPECT_EQ(text, readFile(path)) << "golden file " << path;
}

class DadTest : public CallContextTest {
 protected:
  // Parses text; the DOM lives until the test ends.  Null (with the failure) when it does not parse.
  xercesc::DOMElement *parse(const std::string &text) {
    xercesc::DOMDocument *doc = nullptr;
    if (kelDOM(&ctx, text.c_str(), 0, KEL_DOC_IN_MEMORY, &doc, state, msg) < 0) {
      ADD_FAILURE() << "DAD does not parse: " << msg;
      return nullptr;
    }
    docs_.emplace_back(doc);
    return doc->getDocumentElement();
  }
  // The message's id (its first eight characters).
  std::string msgId() const { return std::string(msg, strnlen(msg, 8)); }
  std::string message() const { return msg; }

 private:
  std::vector<KelDomDocument> docs_;
};

}  // namespace keltest

#endif /* KEL_DAD_TESTUTIL_H */
