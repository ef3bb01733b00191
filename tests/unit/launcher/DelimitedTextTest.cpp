#include "launcher/DelimitedText.h"

#include <gtest/gtest.h>

namespace lg {
namespace {

using Tokens = std::vector<std::string>;

struct TSplitCase {
  const char* name;
  std::string text;
  char delimiter;
  Tokens expected;
};

void PrintTo(const TSplitCase& c, std::ostream* os) {
  *os << c.name;
}

class SplitDelimitedTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitDelimitedTest, Splits) {
  EXPECT_EQ(SplitDelimited(GetParam().text, GetParam().delimiter), GetParam().expected) << GetParam().name;
}

// "\xD6\xD0" is a GBK character; "\x81\x20" and "\x81\x22" are a lead byte
// whose next byte looks like a blank or a quote: one character each.
INSTANTIATE_TEST_SUITE_P(
    Rules, SplitDelimitedTest,
    ::testing::Values(TSplitCase{"blanks", "a b  c", ' ', {"a", "b", "c"}},
                      TSplitCase{"controls separate", "\r\n\ta\r\nb\tc \x01 d\r\n", ' ', {"a", "b", "c", "d"}},
                      TSplitCase{"empty", "", ' ', {}}, TSplitCase{"only blanks", " \r\n ", ' ', {}},
                      TSplitCase{"quoted blanks", "x \"My Game Launcher\" y", ' ', {"x", "My Game Launcher", "y"}},
                      TSplitCase{"doubled quote", "\"say \"\"hi\"\"\" z", ' ', {"say \"hi\"", "z"}},
                      TSplitCase{"empty quotes", "\"\" a", ' ', {"", "a"}},
                      TSplitCase{"text after closing quote", "\"ab\"cd", ' ', {"ab", "cd"}},
                      TSplitCase{"unterminated quote takes the rest", "a \"b c", ' ', {"a", "b c"}},
                      TSplitCase{"gbk kept", "\xD6\xD0\xCE\xC4 b", ' ', {"\xD6\xD0\xCE\xC4", "b"}},
                      TSplitCase{"lead byte eats blank", "a\x81 b c", ' ', {"a\x81 b", "c"}},
                      TSplitCase{"lead byte eats quote in quoted", "\"a\x81\" b\" c", ' ', {"a\x81\" b", "c"}},
                      TSplitCase{"lead byte at end", "ab\x81", ' ', {"ab\x81"}},
                      TSplitCase{"nul ends text", std::string("a b\0c d", 7), ' ', {"a", "b"}},
                      TSplitCase{"underscore", "launcher_abc", '_', {"launcher", "abc"}},
                      TSplitCase{"underscore third part", "my_launcher_abc", '_', {"my", "launcher", "abc"}},
                      TSplitCase{"no underscore", "launcher", '_', {"launcher"}},
                      TSplitCase{"double underscore", "a__b", '_', {"a", "", "b"}},
                      TSplitCase{"trailing underscore", "launcher_", '_', {"launcher", ""}},
                      TSplitCase{"leading underscore", "_abc", '_', {"", "abc"}},
                      TSplitCase{"blank also separates", "my launcher_abc", '_', {"my", "launcher", "abc"}}),
    [](const auto& p) {
      std::string n = p.param.name;
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

}  // namespace
}  // namespace lg
