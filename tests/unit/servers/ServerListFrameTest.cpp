#include <gtest/gtest.h>

#include <vector>

#include "servers/ServerListFrame.h"
#include "servers/TServerListReply.h"

namespace lg {
namespace {

TEST(ServerListFrame, RequestCarriesTheGameIdLittleEndian) {
  auto frame = EncodeServerListRequest("258");
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, std::string("\xAA\x55\x01\x00\x00\x00\x04\x00\x02\x01\x00\x00", 12));
  EXPECT_EQ(DecodeServerListRequest(*frame), 258);
  EXPECT_EQ(DecodeServerListRequest(*EncodeServerListRequest("-1")), -1);
  for (const char* bad : {"", "12a", "0x10", "4294967296", " 7", "+"})
    EXPECT_FALSE(EncodeServerListRequest(bad)) << bad;
  EXPECT_FALSE(DecodeServerListRequest(EncodeFrame(ops::kCmdServerListReply, "abcd")));
}

class Assembly : public ::testing::Test {
 protected:
  Assembly() {
    reply_.OnServerList = [this](const std::string& text) { handled_.push_back(text); };
  }
  void Feed(const std::string& bytes) { reply_.Append(bytes.data(), bytes.size()); }
  TServerListReply reply_;
  std::vector<std::string> handled_;
};

TEST_F(Assembly, ThreeDatagramsCarryingOneFrame) {
  const std::string frame = EncodeFrame(ops::kCmdServerListReply, std::string(5000, 'x'));
  Feed(frame.substr(0, 4096));
  Feed(frame.substr(4096, 500));
  EXPECT_TRUE(handled_.empty()) << "incomplete frames wait";
  Feed(frame.substr(4596));
  ASSERT_EQ(handled_.size(), 1u);
  EXPECT_EQ(handled_[0], std::string(5000, 'x'));
}

TEST_F(Assembly, StrayBytesBeforeTheMagicAreSkippedAndOtherCommandsIgnored) {
  Feed("\x01\x02" + EncodeFrame(7, "not a list") + EncodeFrame(ops::kCmdServerListReply, "{\"server\":[]}"));
  ASSERT_EQ(handled_.size(), 1u);
  EXPECT_EQ(handled_[0], "{\"server\":[]}");
}

TEST_F(Assembly, CompleteFrameIsHandledAgainOnEveryLaterDatagramUntilCleared) {
  Feed(EncodeFrame(ops::kCmdServerListReply, "a"));
  Feed("zz");
  EXPECT_EQ(handled_.size(), 2u);
  reply_.Clear();
  Feed("zz");
  EXPECT_EQ(handled_.size(), 2u);
}

TEST_F(Assembly, NothingIsWrittenPastTheBuffer) {
  std::string big(60000, 'j');
  for (int i = 0; i < 20; ++i) Feed(big);
  EXPECT_EQ(reply_.Buffered(), TServerListReply::kBufferSize);
  EXPECT_EQ(reply_.Dropped(), 20 * big.size() - TServerListReply::kBufferSize);
  EXPECT_TRUE(handled_.empty());
}

TEST_F(Assembly, HandlerMayClearTheBuffer) {
  reply_.OnServerList = [this](const std::string& text) {
    handled_.push_back(text);
    reply_.Clear();
  };
  Feed(EncodeFrame(ops::kCmdServerListReply, "one") + EncodeFrame(ops::kCmdServerListReply, "two"));
  EXPECT_EQ(handled_, std::vector<std::string>{"one"});
  EXPECT_EQ(reply_.Buffered(), 0u);
}

}  // namespace
}  // namespace lg
