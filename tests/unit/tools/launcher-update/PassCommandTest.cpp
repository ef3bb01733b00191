// launcher-update pass: exit codes, what it shows, and a whole pass against
// nginx serving a published folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "net/udp/HostResolve.h"
#include "tests/unit/update/UpdateSite.h"
#include "tools/launcher-update/Commands.h"

namespace lg {
namespace {

using test::TSiteFile;

struct TOutput {
  std::string text;  // UTF-8
  updatetool::TWriter Writer() {
    return [this](const std::string& gbk) { text += plat::Utf8FromGbk(gbk); };
  }
};

int RunPass(const std::vector<std::string>& args, TOutput& out, bool terminal = false) {
  return updatetool::PassCommand(args, out.Writer(), terminal);
}

class PassCommandTest : public ::testing::Test {
 protected:
  std::vector<std::string> Args(int pass = 0) {
    return {"--dir", dir_.Path(), "--base", site_.Base(), "--pass", std::to_string(pass)};
  }
  test::THttpTestServer server_;
  test::TUpdateSite site_{server_};
  test::TTempDir dir_;
};

TEST_F(PassCommandTest, UpToDateExitsZeroAndShowsProgress) {
  site_.Publish({{"Client.bin", "client"}, {"data\\big.dat", std::string(200000, 'x')}});
  TOutput out;
  EXPECT_EQ(RunPass(Args(), out), 0) << out.text;
  EXPECT_EQ(test::ReadFileBytes(dir_.File("Client.bin")), "client");
  EXPECT_NE(out.text.find("正在检查更新...\n"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("total 100%"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("up to date"), std::string::npos);
  EXPECT_TRUE(plat::FileExists(dir_.File("UpdateLog.txt")));
  EXPECT_TRUE(plat::FileExists(dir_.File("data/update0.local")));
  EXPECT_EQ(out.text.find('\r'), std::string::npos) << "plain lines when not on a terminal";
}

TEST_F(PassCommandTest, PipelinedOptionKeepsConnectionsAlive) {
  server_.SetKeepAlive(100);
  site_.Publish({{"Client.bin", "client"}, {"data\\big.dat", std::string(200000, 'x')}, {"c.txt", "c"}});
  TOutput out;
  std::vector<std::string> args = Args();
  args.push_back("--pipelined");
  EXPECT_EQ(RunPass(args, out), 0) << out.text;
  EXPECT_EQ(test::ReadFileBytes(dir_.File("data/big.dat")), std::string(200000, 'x'));
  EXPECT_EQ(test::ReadFileBytes(dir_.File("c.txt")), "c");
  EXPECT_EQ(site_.FileRequests(), 3u) << "no probe";
  for (const auto& r : server_.Requests()) {
    if (r.target.find("/patch/update") == std::string::npos) {
      EXPECT_EQ(r.Header("Connection"), "keep-alive");
    }
  }
  // Without the option (and with the default build) each request has its own.
  test::TTempDir other;
  std::vector<std::string> plain = Args();
  plain[1] = other.Path();
  const int before = server_.Connections();
  EXPECT_EQ(RunPass(plain, out), 0) << out.text;
  EXPECT_EQ(server_.Connections() - before, 1 + 3 * 2) << "the manifest, then a probe and a range for each file";
}

TEST_F(PassCommandTest, TerminalRedrawsOneLine) {
  site_.Publish({{"a.txt", "a"}});
  TOutput out;
  EXPECT_EQ(RunPass(Args(), out, /*terminal=*/true), 0);
  EXPECT_NE(out.text.find('\r'), std::string::npos);
  EXPECT_NE(out.text.find("\x1b[K"), std::string::npos);
}

TEST_F(PassCommandTest, FilesFailingEverySweepExitTwoAndAreNamed) {
  TSiteFile gone{"data\\gone.dat", "x"};
  gone.Serve = false;
  site_.Publish({{"a.txt", "a"}, gone});
  TOutput out;
  EXPECT_EQ(RunPass(Args(), out), 2);
  EXPECT_NE(out.text.find("failed: data\\gone.dat\n"), std::string::npos) << out.text;
}

TEST_F(PassCommandTest, LauncherPassUsesTheExecutableNameGiven) {
  site_.Publish({{"game.exe", "new launcher", false, /*IsLauncher=*/1}}, 1);
  std::vector<std::string> args = Args(1);
  args.insert(args.end(), {"--exe-name", "game.exe"});
  TOutput out;
  EXPECT_EQ(RunPass(args, out), 0) << out.text;
  EXPECT_EQ(test::ReadFileBytes(dir_.File("game.update")), "new launcher");
  EXPECT_FALSE(plat::FileExists(dir_.File("game.exe")));
  EXPECT_EQ(ReadProfileInt(dir_.File("launcher.ini"), "Main", "UpdateNow", -1), 0);
}

TEST_F(PassCommandTest, FailuresAndBadArgumentsExitOne) {
  struct TCase {
    std::vector<std::string> args;
    std::string shown;
  };
  const std::string missing = dir_.File("no-such-folder");
  const std::vector<TCase> cases = {
      {{}, "required"},
      {{"--dir", dir_.Path(), "--base", "http://127.0.0.1:1", "--pass", "2"}, "--pass takes 0 or 1"},
      {{"--dir", dir_.Path(), "--pass"}, "missing value"},
      {{"--dir", dir_.Path(), "--base", "x", "--pass", "0", "--bogus", "1"}, "unknown option"},
      {{"--dir", missing, "--base", "x", "--pass", "0"}, "no such folder"},
      {{"--dir", dir_.Path(), "--base", "x", "--pass", "0", "--exe-name", "a/b.exe"}, "--exe-name"},
  };
  for (const TCase& c : cases) {
    TOutput out;
    EXPECT_EQ(RunPass(c.args, out), 1) << out.text;
    EXPECT_NE(out.text.find(c.shown), std::string::npos) << out.text;
  }
  // No manifest anywhere: the pass ends with result 0. No public resolver
  // is asked (there is no network here).
  server_.Serve("/patch/update.json", test::THttpReply::NotFound());
  SetPublicResolverSettings(TPublicResolverSettings{});
  TOutput out;
  // The folder given without a closing separator, as a user types it.
  std::vector<std::string> args = Args();
  args[1].pop_back();
  EXPECT_EQ(RunPass(args, out), 1);
  ResetPublicResolverSettings();
  EXPECT_NE(out.text.find("#100 : 下载配置文件失败"), std::string::npos) << out.text;
  // The log's path is written with the platform's own separator throughout.
  const char sep = test::IsWindowsBuild() ? '\\' : '/';
  const char other = test::IsWindowsBuild() ? '/' : '\\';
  const size_t see = out.text.find("; see ");
  ASSERT_NE(see, std::string::npos) << out.text;
  const std::string shown = out.text.substr(see + 6, out.text.find('\n', see) - see - 6);
  EXPECT_EQ(shown.find(other), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 14), std::string(1, sep) + "UpdateLog.txt") << shown;
}

}  // namespace
}  // namespace lg
