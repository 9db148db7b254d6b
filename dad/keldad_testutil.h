/*
 * keldad_testutil.h - what the DAD layer's tests share: a fixture with a call context that
 * parses DAD texts into DOMs it keeps for the test, the DADs of tests/data/dad, and the
 * comparison with a golden file through the tree's one helper (KEL_UPDATE_GOLDEN=1 rewrites).
 */
#ifndef KEL_DAD_TESTUTIL_H
#define KEL_DAD_TESTUTIL_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kel_golden.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"

namespace keltest {

inline std::string dadData(const std::string &name) {
  return readFile(sourceDir() + "/tests/data/dad/" + name);
}

// Compares text with the golden file tests/data/<subsystem>/<name> (kel_golden.h).
inline void expectGolden(const std::string &subsystem, const std::string &name, const std::string &text) {
  EXPECT_TRUE(matchesGolden(goldenFile(subsystem, name), text));
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
