#include "launcher/ConfigBlock.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/Md5.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

const std::string kUrls =
    "1 1001 \"Game Launcher\" http://cdn.example.com/client http://cdn.example.com/launcher "
    "http://www.example.com/index.html http://account.example.com/reg http://bbs.example.com "
    "http://pay.example.com http://news.example.com/news.html";

struct TLogRecorder {
  std::vector<std::string> lines;
  TLogSink Sink() {
    return [this](std::string_view l) { lines.emplace_back(l); };
  }
  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

// A program image followed by the three sections and the trailer, each
// section's digest right unless a test changes the trailer.
struct TBlockFile {
  std::string program = std::string("MZ\x90\0program image", 18);
  std::string url = kUrls;
  std::string res = "res-bytes";
  std::string pos = std::string(152, '\x01');
  std::function<void(TBlockTrailer&)> edit;

  std::string Bytes() const {
    TBlockTrailer t;
    int32_t at = static_cast<int32_t>(program.size());
    for (auto [s, body] : {std::pair{&t.url, &url}, std::pair{&t.res, &res}, std::pair{&t.pos, &pos}}) {
      s->offset = at;
      s->size = static_cast<int32_t>(body->size());
      s->md5 = Md5OfBuffer(body->data(), body->size());
      at += s->size;
    }
    t.flag = kBlockFlag;
    if (edit) edit(t);
    return program + url + res + pos + EncodeTrailer(t);
  }
};

TConfigBlockReport Read(const std::string& bytes, TLogRecorder& log, std::string_view exe = "launcher.exe") {
  return ReadConfigBlock(bytes.data(), bytes.size(), exe, log.Sink());
}

TEST(ConfigBlock, ValidBlockGivesValuesPlacementAndTheLogLines) {
  TBlockFile f;
  TLogRecorder log;
  TConfigBlockReport r = Read(f.Bytes(), log);
  ASSERT_TRUE(r.trailerRead);
  EXPECT_TRUE(r.trailer.url.valid && r.trailer.res.valid && r.trailer.pos.valid);
  ASSERT_TRUE(r.valuesSet);
  EXPECT_EQ(r.values[1], "1001");
  EXPECT_EQ(r.values[2], "Game Launcher");
  EXPECT_EQ(r.values[9], "http://news.example.com/news.html");
  EXPECT_EQ(r.placement.resOffset, 18 + static_cast<int>(kUrls.size()));
  EXPECT_EQ(r.placement.resSize, 9);
  EXPECT_EQ(r.placement.posOffset, r.placement.resOffset + 9);
  EXPECT_EQ(r.placement.posSize, 152);

  const std::string urlMd5 = Md5OfText(kUrls), resMd5 = Md5OfText("res-bytes");
  const std::vector<std::string> head = {"flag is 305419896",
                                         "urloffset = 18",
                                         "urlsize = " + std::to_string(kUrls.size()),
                                         "urlmd5 = " + urlMd5,
                                         "resoffset = " + std::to_string(r.placement.resOffset),
                                         "ressize = 9",
                                         "resmd5 = " + resMd5};
  ASSERT_GE(log.lines.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(log.lines.begin(), log.lines.begin() + head.size()), head);
  EXPECT_TRUE(log.Has("Url succ str=" + kUrls + ", count=10"));
  EXPECT_TRUE(log.Has("Url _LauName=Game Launcher"));
  EXPECT_TRUE(log.Has("Url pos=11 strHome=example.com/index.html"));
  EXPECT_TRUE(log.Has("Res succ hash=" + resMd5 + ", RealHash=" + resMd5));
  EXPECT_EQ(log.lines.back(), "Pos succ hash=" + r.trailer.pos.md5 + ", RealHash=" + r.trailer.pos.md5);
}

TEST(ConfigBlock, UppercaseDigestsFailEveryCheck) {
  TBlockFile f;
  f.edit = [](TBlockTrailer& t) {
    for (TBlockSection* s : {&t.url, &t.res, &t.pos})
      std::transform(s->md5.begin(), s->md5.end(), s->md5.begin(), [](char c) { return std::toupper(c); });
  };
  TLogRecorder log;
  TConfigBlockReport r = Read(f.Bytes(), log);
  EXPECT_FALSE(r.trailer.url.valid || r.trailer.res.valid || r.trailer.pos.valid);
  EXPECT_FALSE(r.valuesSet);
  EXPECT_EQ(r.placement.resOffset, 0);
  EXPECT_EQ(r.placement.posOffset, 0);
  const std::string urlMd5 = Md5OfText(kUrls);
  std::string upper = urlMd5;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
  EXPECT_TRUE(log.Has("Url Error hash=" + upper + ", RealHash=" + urlMd5));
}

TEST(ConfigBlock, WrongMagicOrShortFileReadsNothing) {
  for (std::string bytes : {TBlockFile().Bytes(), std::string(), std::string("\x78\x56\x34\x12", 4),
                            std::string(100, '\0') + std::string("\x78\x56\x34\x12", 4)}) {
    if (bytes.size() > 200) bytes.back() = '\x13';
    TLogRecorder log;
    TConfigBlockReport r = Read(bytes, log);
    EXPECT_FALSE(r.trailerRead);
    EXPECT_FALSE(r.valuesSet);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].rfind("flag is ", 0), 0u);
    EXPECT_LE(log.lines.size(), 2u);
  }
}

struct TBadSection {
  const char* name;
  int32_t offset;  // added to the right offset unless `absolute`
  int32_t size;
  bool absolute;
};

void PrintTo(const TBadSection& c, std::ostream* os) {
  *os << c.name;
}

class BadSectionTest : public ::testing::TestWithParam<TBadSection> {};

// Each broken geometry is applied to every section in turn: that section is
// ignored with an "Error" line and the other two still pass.
TEST_P(BadSectionTest, IsLoggedAndIgnored) {
  const TBadSection c = GetParam();
  for (int which = 0; which < 3; ++which) {
    TBlockFile f;
    f.edit = [&](TBlockTrailer& t) {
      TBlockSection* s[] = {&t.url, &t.res, &t.pos};
      s[which]->offset = c.absolute ? c.offset : s[which]->offset + c.offset;
      s[which]->size = c.size;
    };
    TLogRecorder log;
    TConfigBlockReport r = Read(f.Bytes(), log);
    const bool valid[] = {r.trailer.url.valid, r.trailer.res.valid, r.trailer.pos.valid};
    const char* label[] = {"Url", "Res", "Pos"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(valid[i], i != which) << c.name << " section " << i;
    const std::string prefix = std::string(label[which]) + " Error ";
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
      return l.rfind(prefix, 0) == 0;
    })) << c.name;
    EXPECT_EQ(r.valuesSet, which != 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, BadSectionTest,
    ::testing::Values(TBadSection{"zero offset", 0, 10, true}, TBadSection{"zero size", 0, 0, false},
                      TBadSection{"negative size", 0, -5, false}, TBadSection{"negative offset", -100, 10, true},
                      TBadSection{"past the end", 1 << 20, 10, true},
                      TBadSection{"size past the end", 0, 1 << 20, false},
                      TBadSection{"sum overflows 32 bits", 0, INT32_MAX, false},
                      TBadSection{"both maximal", INT32_MAX, INT32_MAX, true}, TBadSection{"wrong bytes", 1, 9, false}),
    [](const auto& p) {
      std::string n = p.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(ConfigBlock, NineTokensLeaveAllValuesEmptyElevenUseTheFirstTen) {
  TBlockFile nine;
  nine.url = "1 2 3 4 5 6 7 8 9";
  TLogRecorder log;
  TConfigBlockReport r = Read(nine.Bytes(), log);
  EXPECT_TRUE(r.trailer.url.valid);
  EXPECT_FALSE(r.valuesSet);
  EXPECT_TRUE(std::all_of(r.values.begin(), r.values.end(), [](const std::string& v) { return v.empty(); }));
  EXPECT_TRUE(log.Has("Url Error str=1 2 3 4 5 6 7 8 9, count=9"));

  TBlockFile eleven;
  eleven.url = "0 1 2 3 4 5 6 7 8 9 extra";
  r = Read(eleven.Bytes(), log);
  ASSERT_TRUE(r.valuesSet);
  EXPECT_EQ(r.tokenCount, 11u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(r.values[i], i == 8 ? "8" : std::to_string(i));
}

struct TChannelCase {
  const char* exe;
  const char* homeHub;
  const char* home;
  const char* expectHome;
  const char* expectPay;
};

void PrintTo(const TChannelCase& c, std::ostream* os) {
  *os << c.exe << " switch " << c.homeHub;
}

class ChannelTest : public ::testing::TestWithParam<TChannelCase> {};

TEST_P(ChannelTest, Rewrites) {
  const TChannelCase c = GetParam();
  std::array<std::string, kDeploymentValueCount> v;
  v[0] = c.homeHub;
  v[5] = c.home;
  v[8] = "http://pay.example.com";
  TLogRecorder log;
  ApplyChannel(v, c.exe, log.Sink());
  EXPECT_EQ(v[5], c.expectHome) << c.exe;
  EXPECT_EQ(v[8], c.expectPay) << c.exe;
  EXPECT_EQ(log.lines.back(), std::string("Url _PayPageUrl=") + c.expectPay);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ChannelTest,
    ::testing::Values(TChannelCase{"launcher_abc.exe", "1", "http://www.example.com/index",
                                   "http://abc.example.com/index", "http://pay.example.com/pay_ditch/abc"},
                      TChannelCase{"C:\\Games\\launcher_abc.exe", "1", "http://www.example.com",
                                   "http://abc.example.com", "http://pay.example.com/pay_ditch/abc"},
                      TChannelCase{"launcher.exe", "1", "http://www.example.com", "http://www.example.com",
                                   "http://pay.example.com"},
                      TChannelCase{"launcher_abc.exe", "0", "http://www.example.com", "http://www.example.com",
                                   "http://pay.example.com/pay_ditch/abc"},
                      TChannelCase{"launcher_abc.exe", "1", "http://localhost/x", "http://localhost/x",
                                   "http://pay.example.com/pay_ditch/abc"},
                      TChannelCase{"launcher_abc_2.exe", "1", "http://www.example.com", "http://abc.example.com",
                                   "http://pay.example.com/pay_ditch/abc"},
                      TChannelCase{"launcher_.exe", "1", "http://www.example.com", "http://www.example.com",
                                   "http://pay.example.com"}));

TEST(ConfigBlock, ChannelCarriedInTheFileNameOfARealBlock) {
  TBlockFile f;
  TLogRecorder log;
  TConfigBlockReport r = Read(f.Bytes(), log, "launcher_abc.exe");
  ASSERT_TRUE(r.valuesSet);
  EXPECT_EQ(r.values[5], "http://abc.example.com/index.html");
  EXPECT_EQ(r.values[8], "http://pay.example.com/pay_ditch/abc");
}

TEST(ConfigBlock, InitConfigSetsTheProcessValuesFromTheNamedFile) {
  test::TTempDir dir;
  TBlockFile f;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher_qq.exe"), f.Bytes()));
  TLogRecorder log;
  InitConfig(dir.File("launcher_qq.exe"), log.Sink());
  EXPECT_EQ(_HubID, "1001");
  EXPECT_EQ(_PayPageUrl, "http://pay.example.com/pay_ditch/qq");
  EXPECT_EQ(_HomePageUrl, "http://qq.example.com/index.html");
  EXPECT_EQ(ResSize, 9);
  EXPECT_EQ(PosSize, 152);
  EXPECT_EQ(CurrentPlacement().posOffset, PosOffset);

  // A second reading of a file without a block clears what the first set.
  InitConfig(dir.File("missing.exe"), log.Sink());
  EXPECT_EQ(_HubID, "");
  EXPECT_EQ(_NewsPageUrl, "");
  EXPECT_EQ(ResOffset, 0);
  EXPECT_EQ(PosOffset, 0);
  EXPECT_EQ(log.lines.back(), "flag is 0");
}

}  // namespace
}  // namespace lg
