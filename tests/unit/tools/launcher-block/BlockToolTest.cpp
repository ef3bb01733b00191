#include "tools/launcher-block/BlockTool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "DeploymentDefaults.h"
#include "common/Platform.h"
#include "launcher/ConfigBlock.h"
#include "launcher/SkinLayout.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/tools/launcher-block/PeTestFile.h"
#include "tools/launcher-block/BlockInspector.h"
#include "tools/launcher-block/BlockPacker.h"
#include "tools/launcher-block/SignedBlock.h"

namespace lg::blocktool {
namespace {

// A 1x1 transparent PNG; each skin file gets its name appended so every
// image's bytes differ.
const std::string kPng(
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06\x00"
    "\x00\x00\x1F\x15\xC4\x89\x00\x00\x00\x0B\x49\x44\x41\x54\x78\x9C\x63\x60\x00\x02\x00\x00\x05\x00\x01\x7A\x5E"
    "\xAB\x3F\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82",
    68);

const std::string kUrls =
    "1\r\n1001\r\n\"\xE7\xA7\x91\xE6\xB2\x83 \xE7\x99\xBB\xE5\xBD\x95\"\r\n"  // "科沃 登录" with a blank, quoted
    "http://cdn.example.com/client http://cdn.example.com/launcher\r\n"
    "http://www.example.com/ http://account.example.com/reg http://bbs.example.com/\n"
    "http://pay.example.com http://news.example.com/\n";

struct TToolRun {
  int code;
  std::string out, err;
};

TToolRun RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunBlockTool(args, out, err);
  return {code, out.str(), err.str()};
}

class BlockToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = "MZ";
    for (int i = 0; i < 3000; ++i) program_ += static_cast<char>(i * 7);
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("in.exe"), program_));
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("urls.txt"), kUrls));
    ASSERT_TRUE(plat::ForceDirectories(dir_.File("skin")));
    for (const char* name : kImageNames)
      ASSERT_TRUE(test::WriteFileBytes(dir_.File(std::string("skin/") + name + ".png"), kPng + name));
    std::string pos = "# control positions\n\n";
    for (int i = 0; i < kPositionRecordCount; ++i)
      pos += std::to_string(i * 10) + " " + std::to_string(-i) + "\t" + std::to_string(100 + i) + " " +
             std::to_string(i == 18 ? 32767 : 200) + "  # record\r\n";
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("positions.txt"), pos));
  }

  TToolRun Pack(const std::string& in, const std::string& out) {
    return RunTool({"pack", "--exe", dir_.File(in), "--urls", dir_.File("urls.txt"), "--skin", dir_.File("skin"),
                    "--positions", dir_.File("positions.txt"), "--out", dir_.File(out)});
  }

  test::TTempDir dir_;
  std::string program_;
};

TEST_F(BlockToolTest, PackThenInspectRoundTripsEveryByte) {
  TToolRun r = Pack("in.exe", "launcher_abc.exe");
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string file = test::ReadFileBytes(dir_.File("launcher_abc.exe"));
  ASSERT_EQ(file.substr(0, program_.size()), program_);

  TInspection in = Inspect(dir_.File("launcher_abc.exe"));
  ASSERT_TRUE(in.AllValid());
  const TBlockTrailer& t = in.report.trailer;
  EXPECT_EQ(t.url.offset, static_cast<int32_t>(program_.size()));
  EXPECT_EQ(file.substr(t.url.offset, t.url.size), plat::GbkFromUtf8(kUrls));
  std::string res;
  for (const char* name : kImageNames) {
    const std::string bytes = kPng + name;
    for (int i = 0; i < 4; ++i) res += static_cast<char>((bytes.size() >> (8 * i)) & 0xFF);
    res += bytes;
  }
  EXPECT_EQ(file.substr(t.res.offset, t.res.size), res);
  EXPECT_EQ(t.pos.size, 152);
  EXPECT_EQ(t.pos.offset + t.pos.size + kBlockTrailerSize, static_cast<int64_t>(file.size()));

  EXPECT_EQ(plat::Utf8FromGbk(in.report.values[2]), "\xE7\xA7\x91\xE6\xB2\x83 \xE7\x99\xBB\xE5\xBD\x95");
  EXPECT_EQ(in.report.values[5], "http://abc.example.com/");  // channel from the file's own name
  EXPECT_EQ(in.report.values[8], "http://pay.example.com/pay_ditch/abc");
  for (size_t i = 0; i < in.images.size(); ++i)
    EXPECT_EQ(in.images[i].size, static_cast<int64_t>(kPng.size() + in.images[i].name.size()));
  for (int i = 0; i < kPositionRecordCount; ++i) {
    EXPECT_EQ(in.positions[i].value[0], i * 10);
    EXPECT_EQ(in.positions[i].value[1], -i);
    EXPECT_EQ(in.positions[i].value[2], 100 + i);
  }
  EXPECT_EQ(in.positions[18].value[3], 32767);

  TToolRun json = RunTool({"inspect", dir_.File("launcher_abc.exe"), "--json"});
  EXPECT_EQ(json.code, 0);
  for (const char* part : {"\"flag\": 305419896", "\"_HubID\": \"1001\"", "\"valid\": true",
                           "{\"name\": \"min_down\", \"size\": 76}", "\"control\": \"LGBtn4\", \"x\": 180",
                           "\"_LauName\": \"\xE7\xA7\x91\xE6\xB2\x83 \xE7\x99\xBB\xE5\xBD\x95\"", "\"defaults\": {"})
    EXPECT_NE(json.out.find(part), std::string::npos) << part;
  EXPECT_EQ(json.out.find("\"valid\": false"), std::string::npos);
  // The transfer mode is a deployment value like the key: both outputs name the build's.
  const std::string mode = defaults::kTransferMode;
  EXPECT_NE(json.out.find("\"transferMode\": \"" + mode + "\"}"), std::string::npos) << json.out;
  TToolRun text = RunTool({"inspect", dir_.File("launcher_abc.exe")});
  EXPECT_NE(text.out.find("transfer mode:           " + mode + "\n"), std::string::npos) << text.out;
}

TEST_F(BlockToolTest, PackOnAPackedLauncherReplacesTheBlockAndStripRestoresTheImage) {
  ASSERT_EQ(Pack("in.exe", "first.exe").code, 0);
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("urls.txt"), "0 2 n a b c d e f g"));
  ASSERT_EQ(Pack("first.exe", "second.exe").code, 0);
  ASSERT_EQ(Pack("in.exe", "direct.exe").code, 0);
  EXPECT_EQ(test::ReadFileBytes(dir_.File("second.exe")), test::ReadFileBytes(dir_.File("direct.exe")));
  EXPECT_EQ(Inspect(dir_.File("second.exe")).report.values[1], "2");

  TToolRun r = RunTool({"strip", "--exe", dir_.File("second.exe"), "--out", dir_.File("stripped.exe")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(dir_.File("stripped.exe")), program_);
  // Without a block the image is copied unchanged.
  ASSERT_EQ(RunTool({"strip", "--exe", dir_.File("in.exe"), "--out", dir_.File("copy.exe")}).code, 0);
  EXPECT_EQ(test::ReadFileBytes(dir_.File("copy.exe")), program_);
}

TEST_F(BlockToolTest, InspectFailsOnADamagedSection) {
  ASSERT_EQ(Pack("in.exe", "l.exe").code, 0);
  std::string file = test::ReadFileBytes(dir_.File("l.exe"));
  file[program_.size() + kUrls.size() + 10] ^= 1;  // one byte inside the image section
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("l.exe"), file));
  TToolRun r = RunTool({"inspect", dir_.File("l.exe"), "--json"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("\"res\": {\"offset\": "), std::string::npos);
  EXPECT_NE(r.out.find("\"valid\": false"), std::string::npos);
  EXPECT_NE(r.out.find("{\"name\": \"background\", \"size\": null}"), std::string::npos);
  EXPECT_EQ(RunTool({"inspect", dir_.File("in.exe")}).code, 1);
  EXPECT_EQ(RunTool({"inspect", dir_.File("missing.exe")}).code, 1);
}

// inspect's text without the lines that must differ between a signed and
// an unsigned launcher: its size, the signature and the sections' offsets.
std::string WithoutPlacement(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    std::string line = text.substr(at, nl - at);
    at = nl == std::string::npos ? text.size() : nl + 1;
    if (line.rfind("file: ", 0) == 0 || line.rfind("signature: ", 0) == 0) continue;
    const size_t offset = line.find("offset=");
    if (offset != std::string::npos) line.erase(offset, line.find(' ', offset) - offset);
    out += line + "\n";
  }
  return out;
}

TEST_F(BlockToolTest, ASignedLauncherGetsItsBlockInsideTheTableAndReadsAsAnUnsignedOne) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("signed.exe"), pe::MakePe()));
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("bare.exe"), pe::MakePe({.withSignature = false})));
  TToolRun r =
      RunTool({"pack", "--exe", dir_.File("signed.exe"), "--urls", dir_.File("urls.txt"), "--skin", dir_.File("skin"),
               "--positions", dir_.File("positions.txt"), "--out", dir_.File("launcher_abc.exe"), "--signed"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("inside its certificate table"), std::string::npos) << r.out;
  // Without --signed a signed file is recognised as well.
  ASSERT_EQ(Pack("signed.exe", "auto.exe").code, 0);
  EXPECT_EQ(test::ReadFileBytes(dir_.File("auto.exe")), test::ReadFileBytes(dir_.File("launcher_abc.exe")));
  ASSERT_TRUE(plat::ForceDirectories(dir_.File("plain")));
  ASSERT_EQ(Pack("bare.exe", "plain/launcher_abc.exe").code, 0);

  TToolRun s = RunTool({"inspect", dir_.File("launcher_abc.exe")});
  TToolRun u = RunTool({"inspect", dir_.File("plain/launcher_abc.exe")});
  ASSERT_EQ(s.code, 0) << s.out;
  ASSERT_EQ(u.code, 0) << u.out;
  EXPECT_NE(s.out.find("signature: present (certificate table at 0x600, "), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("the block lies inside it behind the signature"), std::string::npos) << s.out;
  EXPECT_NE(u.out.find("signature: none (no certificate table)"), std::string::npos) << u.out;
  EXPECT_EQ(WithoutPlacement(s.out), WithoutPlacement(u.out));
  EXPECT_NE(s.out.find("LGBtn4"), std::string::npos);  // the comparison covered the positions

  TToolRun json = RunTool({"inspect", dir_.File("launcher_abc.exe"), "--json"});
  EXPECT_NE(json.out.find("\"signature\": {\"signed\": true, \"tableOffset\": 1536"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"blockInside\": true"), std::string::npos);

  // strip takes the block out of the table and leaves a valid signed file.
  ASSERT_EQ(RunTool({"strip", "--exe", dir_.File("launcher_abc.exe"), "--out", dir_.File("stripped.exe")}).code, 0);
  const std::string stripped = test::ReadFileBytes(dir_.File("stripped.exe"));
  EXPECT_EQ(AssessSignature(stripped).place, TBlockPlace::NoBlock);
  EXPECT_EQ(stripped.size(), pe::MakePe().size());
}

TEST_F(BlockToolTest, PackSignedRefusesAFileWithoutASignature) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("bare.exe"), pe::MakePe({.withSignature = false})));
  std::string broken = pe::MakePe();
  pe::Put32(broken, pe::kTableOffset, 0);  // an entry of length 0
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("broken.exe"), broken));
  struct {
    const char* in;
    bool flag;
    const char* expect;
  } cases[] = {{"bare.exe", true, "no certificate table: sign the launcher first"},
               {"in.exe", true, "PE header"},
               {"broken.exe", true, "a length of 0 bytes"},
               {"broken.exe", false, "a length of 0 bytes"}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"pack",
                                     "--exe",
                                     dir_.File(c.in),
                                     "--urls",
                                     dir_.File("urls.txt"),
                                     "--skin",
                                     dir_.File("skin"),
                                     "--positions",
                                     dir_.File("positions.txt"),
                                     "--out",
                                     dir_.File("out.exe")};
    if (c.flag) args.push_back("--signed");
    TToolRun r = RunTool(args);
    EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.in << ": " << r.err;
    if (c.flag) {
      EXPECT_EQ(r.code, 1) << c.in;
      EXPECT_FALSE(plat::FileExists(dir_.File("out.exe"))) << c.in;
    }
  }
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

struct TPackError {
  const char* name;
  const char* file;     // file to replace ("" = none)
  std::string content;  // its new content
  const char* expect;   // text the error must contain
};

void PrintTo(const TPackError& c, std::ostream* os) {
  *os << c.name;
}

class PackErrorTest : public BlockToolTest, public ::testing::WithParamInterface<TPackError> {};

// Every bad input stops the pack with a message naming it, and neither the
// output nor a temporary file is left behind.
TEST_P(PackErrorTest, NamesTheCulpritAndWritesNothing) {
  const TPackError& c = GetParam();
  if (std::string(c.file) == "skin/min_down.png:delete") {
    ASSERT_TRUE(plat::DeleteFile(dir_.File("skin/min_down.png")));
  } else {
    ASSERT_TRUE(test::WriteFileBytes(dir_.File(c.file), c.content));
  }
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("out.exe"), "earlier"));
  TToolRun r = Pack("in.exe", "out.exe");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(dir_.File("out.exe")), "earlier");
  EXPECT_FALSE(plat::FileExists(dir_.File("out.exe.~tmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PackErrorTest,
    ::testing::Values(TPackError{"missing image", "skin/min_down.png:delete", "", "min_down.png: cannot be read"},
                      TPackError{"not an image", "skin/cb_active.png", "just text", "cb_active.png: not a PNG"},
                      TPackError{"char outside gbk", "urls.txt", "1 2\n3 4\n\xF0\x9F\x98\x80 5 6 7 8 9 10\n",
                                 "urls line 3"},
                      TPackError{"nine values", "urls.txt", "1 2 3 4 5 6 7 8 9", "9 values"},
                      TPackError{"eighteen positions", "positions.txt", Repeat("1 2 3 4\n", 18), "18 records"},
                      TPackError{"bad number", "positions.txt", "1 2 3 4\n1 2 x 4\n", "positions line 2"},
                      TPackError{"too large", "positions.txt", "1 2 3 40000\n", "positions line 1"},
                      TPackError{"five numbers", "positions.txt", "# c\n1 2 3 4 5\n", "positions line 2"},
                      TPackError{"broken block", "in.exe",
                                 std::string(200, 'x') + std::string(120, '\x01') + std::string("\x78\x56\x34\x12", 4),
                                 "deployment block"}),
    [](const auto& p) {
      std::string n = p.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(BlockPacker, ElevenValuesWarnAndPositionsCountMustBeNineteen) {
  std::string gbk, error, warning;
  EXPECT_TRUE(
      BuildUrlSection("\xEF\xBB\xBF"
                      "a b c d e f g h i j k",
                      gbk, error, warning));
  EXPECT_EQ(gbk, "a b c d e f g h i j k");
  EXPECT_NE(warning.find("11 values"), std::string::npos);
  std::string pos;
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "1 2 3 4\n";
  EXPECT_FALSE(BuildPositionSection(twenty, pos, error));
  EXPECT_NE(error.find("20 records"), std::string::npos);
  EXPECT_TRUE(LooksLikeImage("\xFF\xD8\xFF\xE0"));
  EXPECT_TRUE(LooksLikeImage("GIF89a..."));
  EXPECT_TRUE(LooksLikeImage("BM...."));
  EXPECT_FALSE(LooksLikeImage("\x89PNG"));
}

TEST(BlockTool, UsageErrorsExitWithTwo) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{},
                                                                             {"pack"},
                                                                             {"pack", "--exe", "a"},
                                                                             {"inspect"},
                                                                             {"inspect", "a", "b"},
                                                                             {"strip", "--exe"},
                                                                             {"x"},
                                                                             {"inspect", "a", "--bogus"}})
    EXPECT_EQ(RunTool(args).code, 2);
}

}  // namespace
}  // namespace lg::blocktool
