// The initialiser reports success and leaves the parser library usable.
#include "quarnxmlinit.h"

#include <gtest/gtest.h>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>

TEST(QuarnXmlInit, ParserLibraryIsReadyOnLoad) {
  EXPECT_EQ(isSharedLibInitSuccess(), 1);
  EXPECT_EQ(getLastErrorCode(), 0);
  EXPECT_STREQ(getLastErrorMessage(), "");
  // No Initialize call of our own: the loaded initialiser made the library usable.
  xercesc::XercesDOMParser parser;
  static const char doc[] = "<a><b/></a>";
  xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc), sizeof doc - 1, "t");
  parser.parse(src);
  EXPECT_EQ(parser.getErrorCount(), 0u);
  ASSERT_NE(parser.getDocument(), nullptr);
}
