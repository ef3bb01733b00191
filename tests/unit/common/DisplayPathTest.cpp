#include "common/DisplayPath.h"

#include <gtest/gtest.h>

#include "common/Platform.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(DisplayPath, SeparatorsChangeButGbkTrailBytesStay) {
  struct TCase {
    const char* path;
    char separator;
    const char* want;
  } cases[] = {
      {"C:\\game\\inst\\UpdateLog.txt", '/', "C:/game/inst/UpdateLog.txt"},
      {"/tmp/x/inst\\UpdateLog.txt", '/', "/tmp/x/inst/UpdateLog.txt"},
      {"/tmp/x/inst\\UpdateLog.txt", '\\', "\\tmp\\x\\inst\\UpdateLog.txt"},
      {"", '/', ""},
      // "\xD3\x5C" is one GBK character whose trail byte is a backslash.
      {"data\\\xD3\x5C\\a.dat", '/', "data/\xD3\x5C/a.dat"},
      {"data/\xD3\x5C/a.dat", '\\', "data\\\xD3\x5C\\a.dat"},
      // A lone lead byte at the end is just a byte.
      {"a\\\xD3", '/', "a/\xD3"},
  };
  for (const TCase& c : cases) EXPECT_EQ(WithSeparators(c.path, c.separator), c.want) << c.path;
}

TEST(DisplayPath, UsesThePlatformsSeparator) {
  const char sep = test::IsWindowsBuild() ? '\\' : '/';
  EXPECT_EQ(plat::kPathSeparator, sep);
  EXPECT_EQ(DisplayPath("dir/inst\\UpdateLog.txt"), std::string("dir") + sep + "inst" + sep + "UpdateLog.txt");
}

}  // namespace
}  // namespace lg
