#include "tools/launcher-publish/TPublishVerifier.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tools/launcher-publish/PublishTool.h"

namespace lg::publish {
namespace {

int FromHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && FromHex(s[i + 1]) >= 0 && FromHex(s[i + 2]) >= 0) {
      out += static_cast<char>(FromHex(s[i + 1]) * 16 + FromHex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Put("Client.bin", std::string(3000, 'c'));
    Put("data/ui/a.dat", "alpha");
    Put("data/地图/场景.map", "map data");
    Put("empty.txt", "");
    Put("data/big.pak", std::string(50000, 'p'));
    Put("data/b.dat", "bravo");
    std::ostringstream out, err;
    ASSERT_EQ(RunPublishTool({"--src", Src(), "--out", Web(), "--zip", "**/*.pak", "--package"}, out, err, false), 0)
        << err.str();
  }
  std::string Src() const { return dir_.Path() + "game"; }
  std::string Web() const { return dir_.Path() + "www"; }
  void Put(const std::string& name, const std::string& content) {
    const std::string path = Src() + "/" + Gbk(name);
    plat::ForceDirectories(path.substr(0, path.find_last_of("/\\")));
    ASSERT_TRUE(test::WriteFileBytes(path, content));
  }
  int Verify(std::vector<std::string> args) {
    out_.str("");
    std::ostringstream err;
    args.insert(args.begin(), "verify");
    int rc = RunPublishTool(args, out_, err, false);
    out_ << err.str();
    return rc;
  }
  // Damage three served files: one corrupted (same size), one truncated,
  // one missing.
  void Damage() {
    std::string a = test::ReadFileBytes(Web() + "/data/ui/a.dat");
    a[0] = 'A';
    ASSERT_TRUE(test::WriteFileBytes(Web() + "/data/ui/a.dat", a));
    plat::TFileStream zip;
    ASSERT_TRUE(zip.Open(Web() + "/data/big.pak.zip", plat::TFileStream::Mode::ReadWrite));
    ASSERT_TRUE(zip.Truncate(zip.Size() - 10));
    zip.Close();
    ASSERT_TRUE(plat::DeleteFile(Web() + "/" + Gbk("data/地图/场景.map")));
  }
  void ExpectTheThreeNamed() {
    const std::string text = out_.str();
    EXPECT_NE(text.find("data\\ui\\a.dat: content digest"), std::string::npos) << text;
    EXPECT_NE(text.find("data\\big.pak: served with"), std::string::npos) << text;
    EXPECT_NE(text.find("data\\地图\\场景.map:"), std::string::npos) << text;
    EXPECT_EQ(text.find("b.dat"), std::string::npos) << text;
    EXPECT_NE(text.find("3 problem(s)"), std::string::npos) << text;
  }

  test::TTempDir dir_;
  std::ostringstream out_;
};

TEST_F(VerifyTest, DirFindsACorruptedATruncatedAndAMissingFile) {
  ASSERT_EQ(Verify({"--dir", Web()}), 0) << out_.str();
  EXPECT_NE(out_.str().find("7 checked, 0 problem(s)"), std::string::npos) << out_.str();
  Damage();
  EXPECT_EQ(Verify({"--dir", Web()}), 1);
  ExpectTheThreeNamed();
}

TEST_F(VerifyTest, DirFindsAnArchiveWithoutTheBareNameAndABadPackage) {
  // An archive that unpacks but holds the file under another name.
  ASSERT_TRUE(plat::RenameFile(Web() + "/data/big.pak.zip", Web() + "/data/b.dat.zip"));
  std::string manifest = test::ReadFileBytes(Web() + "/update.json");
  std::string bigLine = manifest.substr(manifest.find("{\"File\":\"data\\\\big.pak\""));
  bigLine = bigLine.substr(0, bigLine.find('}') + 1);
  std::string size = bigLine.substr(bigLine.find("\"Size\":") + 7);
  size = size.substr(0, size.find(','));
  std::string replaced = manifest;
  const size_t at = replaced.find("{\"File\":\"data\\\\b.dat\"");
  const size_t end = replaced.find('}', at);
  replaced.replace(at, end - at + 1,
                   "{\"File\":\"data\\\\b.dat\",\"Hash\":\"" + std::string(32, '0') + "\",\"Size\":" + size +
                       ",\"IsZip\":true,\"Need\":true,\"isLauncher\":0}");
  ASSERT_TRUE(test::WriteFileBytes(Web() + "/update.json", replaced));
  std::string package = test::ReadFileBytes(Web() + "/complete/package.zip");
  package[package.size() / 2] ^= 1;
  ASSERT_TRUE(test::WriteFileBytes(Web() + "/complete/package.zip", package));
  EXPECT_EQ(Verify({"--dir", Web()}), 1);
  EXPECT_NE(out_.str().find("data\\b.dat: the archive does not hold b.dat"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("complete/package.zip: digest"), std::string::npos) << out_.str();
}

TEST_F(VerifyTest, DirRefusesAManifestTheLauncherWouldNotAccept) {
  ASSERT_TRUE(test::WriteFileBytes(Web() + "/update.json", "[{\"Hash\":\"x\"}]"));
  EXPECT_EQ(Verify({"--dir", Web()}), 1);
  EXPECT_NE(out_.str().find("does not accept"), std::string::npos) << out_.str();
  ASSERT_TRUE(test::WriteFileBytes(Web() + "/update.json", "[{\"File\":\"a\",\"Size\":\"5\",\"Need\":true}]"));
  EXPECT_EQ(Verify({"--dir", Web()}), 1);
  EXPECT_NE(out_.str().find("entry 0:"), std::string::npos) << out_.str();
}

TEST_F(VerifyTest, BaseFetchesEveryEntryOverHttp) {
  test::THttpTestServer server;
  const std::string web = Web();
  server.SetHandler([web](const test::TRecordedRequest& request) {
    const std::string name = plat::GbkFromUtf8(PercentDecoded(request.target));
    std::string body;
    if (name.find("..") != std::string::npos || !plat::ReadWholeFile(web + name, body))
      return test::THttpReply::NotFound();
    return test::THttpReply::Text(body);
  });
  ASSERT_EQ(Verify({"--base", server.Url("/"), "--manifest", "update.json"}), 0) << out_.str();
  EXPECT_NE(out_.str().find("7 checked, 0 problem(s)"), std::string::npos) << out_.str();
  Damage();
  EXPECT_EQ(Verify({"--base", server.Url("/"), "--manifest", "update.json"}), 1);
  ExpectTheThreeNamed();
  EXPECT_EQ(Verify({"--base", server.Url("/nothing")}), 1);
  EXPECT_NE(out_.str().find("update.json: not served"), std::string::npos) << out_.str();
}

}  // namespace
}  // namespace lg::publish
