#include "ui/WebPageRules.h"

#include <gtest/gtest.h>

#include "common/Gbk.h"
#include "common/Md5.h"

namespace lg {
namespace {

TEST(CrcValue, DigestOfTheAdapterTextBetweenTheSaltPieces) {
  // MD5("1234" "00-1A-2B-3C-4D-5E" "5678") computed independently.
  EXPECT_EQ(CrcValue("00-1A-2B-3C-4D-5E", "1234", "5678"), Md5OfText("123400-1A-2B-3C-4D-5E5678"));
  EXPECT_EQ(CrcValue("", "", ""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(CrcValue("abc", "", ""), "900150983cd24fb0d6963f7d28e17f72");
  // The pieces are not interchangeable.
  EXPECT_NE(CrcValue("M", "1234", "5678"), CrcValue("M", "5678", "1234"));
}

struct TAdapterCase {
  const char* name;
  std::vector<std::string> adapters;  // positions 0..3
  std::string expected;
};

void PrintTo(const TAdapterCase& c, std::ostream* os) {
  *os << c.name;
}

class AdapterChoice : public ::testing::TestWithParam<TAdapterCase> {};

TEST_P(AdapterChoice, FirstNonZeroAddressElseTheFourth) {
  std::vector<int> asked;
  std::string text = CheckAdapterText([&](int position) {
    asked.push_back(position);
    return position < static_cast<int>(GetParam().adapters.size()) ? GetParam().adapters[position] : std::string();
  });
  EXPECT_EQ(text, GetParam().expected);
  for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], static_cast<int>(i));
  EXPECT_LE(asked.size(), 4u);
}

const std::string kZero = "00-00-00-00-00-00";

INSTANTIATE_TEST_SUITE_P(
    Adapters, AdapterChoice,
    ::testing::Values(TAdapterCase{"first", {"00-1A-2B-3C-4D-5E", "AA-BB-CC-DD-EE-FF"}, "00-1A-2B-3C-4D-5E"},
                      TAdapterCase{"zero skipped", {kZero, "AA-BB-CC-DD-EE-FF"}, "AA-BB-CC-DD-EE-FF"},
                      TAdapterCase{"all zero gives the fourth", {kZero, kZero, kZero, kZero}, kZero},
                      TAdapterCase{
                          "longer zero text skipped", {kZero + "-00", "01-02-03-04-05-06"}, "01-02-03-04-05-06"},
                      TAdapterCase{"none", {}, ""}));

TEST(CrcParameter, QuestionMarkOrAmpersand) {
  EXPECT_EQ(WithCrcParameter("http://news.example/a.html", "abc"), "http://news.example/a.html?crc=abc");
  EXPECT_EQ(WithCrcParameter("http://news.example/a?id=3", "abc"), "http://news.example/a?id=3&crc=abc");
  EXPECT_EQ(WithCrcParameter("http://x/?", "0f"), "http://x/?&crc=0f");
  EXPECT_EQ(WithCrcParameter("", "z"), "?crc=z");
}

struct TCloseCase {
  const char* address;
  bool closes;
};

class CloseAddress : public ::testing::TestWithParam<TCloseCase> {};

TEST_P(CloseAddress, AnyLetterCase) {
  EXPECT_EQ(IsCloseAddress(GetParam().address), GetParam().closes) << GetParam().address;
}

INSTANTIATE_TEST_SUITE_P(Addresses, CloseAddress,
                         ::testing::Values(TCloseCase{"http://reg.example/done#close", true},
                                           TCloseCase{"http://reg.example/done#CLOSE", true},
                                           TCloseCase{"http://reg.example/#Close?x=1", true},
                                           TCloseCase{"#close", true}, TCloseCase{"http://reg.example/close", false},
                                           TCloseCase{"http://reg.example/#clos", false},
                                           TCloseCase{"http://reg.example/# close", false}, TCloseCase{"", false}));

TEST(LoadingText, IsGbk) {
  EXPECT_EQ(LoadingText(), Gbk("正在加载请稍等 ..."));
  EXPECT_EQ(LoadingText().size(), 14u + 4u);
}

}  // namespace
}  // namespace lg
