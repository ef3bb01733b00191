// A whole update pass against nginx serving a published folder: the static
// server operators run, with its own answers to ranges and probes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Library/hDownload/THttpGetDocument.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/update/UpdateSite.h"
#include "tools/launcher-update/Commands.h"

namespace lg {
namespace {

using test::TNginx;

std::string Data(size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(((i + seed) * 2654435761u) >> 13);
  return s;
}

TEST(NginxPass, FreshInstallThenNothingToDo) {
  if (test::IsWindowsBuild() || !TNginx::Installed()) GTEST_SKIP() << "needs nginx on this system";
  test::TTempDir site, install;
  const std::string big = Data(3 << 20, 1), small = "small file", packed = Data(300000, 2);
  const std::string archive = test::ZipBytes({{"m.map", packed}});
  plat::ForceDirectories(site.File("patch/data/maps"));
  test::WriteFileBytes(site.File("patch/Client.bin"), small);
  test::WriteFileBytes(site.File("patch/data/big.dat"), big);
  test::WriteFileBytes(site.File("patch/data/maps/m.map.zip"), archive);
  const std::string manifest = "[{\"File\":\"Client.bin\",\"Need\":true,\"Hash\":\"" + Md5OfText(small) +
                               "\",\"Size\":" + std::to_string(small.size()) +
                               "},\n{\"File\":\"data\\\\big.dat\",\"Need\":true,\"Hash\":\"" + Md5OfText(big) +
                               "\",\"Size\":" + std::to_string(big.size()) +
                               "},\n{\"File\":\"data\\\\maps\\\\m.map\",\"Need\":true,\"IsZip\":true,\"Hash\":\"" +
                               Md5OfText(packed) + "\",\"Size\":" + std::to_string(archive.size()) + "}]";
  test::WriteFileBytes(site.File("patch/update.json"), manifest);

  TNginx nginx(site.Path());
  ASSERT_TRUE(nginx.Started());
  std::string shown;
  const updatetool::TWriter write = [&shown](const std::string& gbk) { shown += gbk; };
  const std::vector<std::string> args = {"--dir", install.Path(), "--base", nginx.Url("/patch"), "--pass", "0"};

  EXPECT_EQ(updatetool::PassCommand(args, write, false), 0) << shown;
  EXPECT_EQ(test::ReadFileBytes(install.File("data/big.dat")), big);
  EXPECT_EQ(test::ReadFileBytes(install.File("data/maps/m.map")), packed);
  EXPECT_EQ(test::ReadFileBytes(install.File("Client.bin")), small);
  EXPECT_EQ(ReadProfileInt(install.File("launcher.ini"), "Main", "UpdateNow", -1), 0);
  // The big file came in ranges over several connections.
  EXPECT_GT(nginx.Requests("/patch/data/big.dat"), 2);

  const int before = nginx.Requests("/patch/data/");
  shown.clear();
  EXPECT_EQ(updatetool::PassCommand(args, write, false), 0) << shown;
  EXPECT_EQ(nginx.Requests("/patch/data/"), before) << "the second pass downloads nothing";
  EXPECT_EQ(nginx.Requests("/patch/update.json"), 2);

  // Pipelined into a fresh folder: the same files over nginx's kept-alive
  // connections, without the probe.
  test::TTempDir fresh;
  std::vector<std::string> pipelined = {"--dir",  fresh.Path(), "--base",     nginx.Url("/patch"),
                                        "--pass", "0",          "--pipelined"};
  const int bigBefore = nginx.Requests("/patch/data/big.dat");
  shown.clear();
  EXPECT_EQ(updatetool::PassCommand(pipelined, write, false), 0) << shown;
  EXPECT_EQ(test::ReadFileBytes(fresh.File("data/big.dat")), big);
  EXPECT_EQ(test::ReadFileBytes(fresh.File("data/maps/m.map")), packed);
  EXPECT_EQ(test::ReadFileBytes(fresh.File("Client.bin")), small);
  EXPECT_GT(nginx.Requests("/patch/data/big.dat") - bigBefore, 2) << "the big file still came in ranges";
}

}  // namespace
}  // namespace lg
