#include "launch/ClientCommandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "common/Gbk.h"

namespace lg {
namespace {

TEST(ClientArguments, EveryValueInItsPlaceAndNothingQuoted) {
  TClientLaunchValues v;
  v.Id = 12;
  v.Address = "10.0.0.7";
  v.Port = 7000;
  v.Name = u"龙城一区";
  v.LauName = "My Launcher.exe";
  v.WebUrl = "http://reg.example/r?a=1";
  v.CdnUrl = "http://cdn.example/client";
  EXPECT_EQ(FormClientArguments(v), "/id:12 /ip:10.0.0.7 /slb:1 /port:7000 /servername:" + Gbk("龙城一区") +
                                        " /lauName:My Launcher.exe /web:http://reg.example/r?a=1"
                                        " /cdn:http://cdn.example/client/");
}

TEST(ClientArguments, EmptyValuesKeepTheirMarkers) {
  TClientLaunchValues v;
  v.Id = -3;
  EXPECT_EQ(FormClientArguments(v), "/id:-3 /ip: /slb:1 /port:0 /servername: /lauName: /web: /cdn:/");
}

TEST(ClientArguments, CommandLineJoinsPathAndArgumentsWithOneBlank) {
  EXPECT_EQ(FormCommandLine("C:\\g\\Client.bin", "/id:1"), "C:\\g\\Client.bin /id:1");
  EXPECT_EQ(FormCommandLine("C:\\g\\launcher.exe", ""), "C:\\g\\launcher.exe");
  EXPECT_EQ(FolderPart("C:\\g\\Client.bin"), "C:\\g\\");
  EXPECT_EQ(FolderPart("Client.bin"), "");
}

struct TSplitCase {
  std::string ip;
  std::vector<std::string> expected;
};

class AddressList : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(AddressList, SplitsAtBarsAndBlanks) {
  EXPECT_EQ(SplitAddressList(GetParam().ip), GetParam().expected) << GetParam().ip;
}

INSTANTIATE_TEST_SUITE_P(Lists, AddressList,
                         ::testing::Values(TSplitCase{"1.2.3.4", {"1.2.3.4"}},
                                           TSplitCase{"1.2.3.4|5.6.7.8", {"1.2.3.4", "5.6.7.8"}},
                                           TSplitCase{"1.2.3.4||5.6.7.8|", {"1.2.3.4", "", "5.6.7.8", ""}},
                                           TSplitCase{" 1.2.3.4 5.6.7.8", {"1.2.3.4", "5.6.7.8"}}, TSplitCase{"", {}}));

TEST(PickAddress, EmptyListGivesNoAddress) {
  std::string address = "kept";
  int asked = 0;
  EXPECT_FALSE(PickAddress(
      "", [&](uint32_t) { return ++asked, 0u; }, address));
  EXPECT_EQ(address, "kept");
  EXPECT_EQ(asked, 0);
}

TEST(PickAddress, TheRandomSourceChoosesAndIsAskedForTheListSize) {
  std::vector<uint32_t> sizes;
  std::string address;
  ASSERT_TRUE(PickAddress(
      "a|b|c", [&](uint32_t n) { return sizes.push_back(n), 2u; }, address));
  EXPECT_EQ(address, "c");
  EXPECT_EQ(sizes, std::vector<uint32_t>{3});
  // An answer out of range stays inside the list.
  ASSERT_TRUE(PickAddress(
      "a|b", [](uint32_t) { return 99u; }, address));
  EXPECT_EQ(address, "b");
}

TEST(PickAddress, TwoAddressesAreChosenEquallyOften) {
  std::mt19937 engine(1234);
  TRandomIndex random = [&](uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine); };
  std::map<std::string, int> seen;
  constexpr int kStarts = 20000;
  for (int i = 0; i < kStarts; ++i) {
    std::string address;
    ASSERT_TRUE(PickAddress("10.0.0.1|10.0.0.2", random, address));
    ++seen[address];
  }
  ASSERT_EQ(seen.size(), 2u);
  // Five standard deviations of a fair coin over 20000 throws is about 354.
  EXPECT_NEAR(seen["10.0.0.1"], kStarts / 2, 360);
}

}  // namespace
}  // namespace lg
