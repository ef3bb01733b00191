// Update passes of a launcher built with an update key: signed manifests,
// the sequence that only grows, expiry, and the SHA-256 of every file and of
// the package. Each refusal must end like a failed fetch with nothing
// installed and one log line naming the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "common/Crypto.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/Sha256.h"
#include "net/udp/HostResolve.h"
#include "tests/unit/update/UpdateSite.h"
#include "update/ManifestSignature.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

using test::THttpReply;
using test::TSiteFile;

struct TKeyPair {
  crypto::TPrivateKey Private{};
  crypto::TPublicKey Public{};
};

TKeyPair NewPair() {
  TKeyPair pair;
  EXPECT_TRUE(crypto::GenerateP256(pair.Private, pair.Public));
  return pair;
}

const std::string kBig(70000, 'b');

std::vector<TSiteFile> GameFiles() {
  return {
      {"Client.bin", "client program"},
      {"data\\ui\\skin.dat", kBig},
      {"data\\maps\\m1.map", std::string(9000, 'm'), /*Zip=*/true},
  };
}

std::string Signature(const TKeyPair& key, const std::string& name, const std::string& text, uint64_t sequence,
                      uint64_t expires) {
  TManifestSignature sig;
  EXPECT_TRUE(SignManifest(key.Private, key.Public, name, text, sequence, expires, sig));
  return FormatManifestSignature(sig);
}

class UpdateTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Strong = true;
    // A refused manifest takes the failure path of a fetch: no other
    // address and no public resolver to try here.
    SetPublicResolverSettings({});
  }
  void TearDown() override { ResetPublicResolverSettings(); }

  TUpdateThreadOptions Keyed() const {
    TUpdateThreadOptions options;
    options.ResolveHost = [](const std::string&, std::vector<std::string>& list) { list.clear(); };
    options.PublicKey = PublicKeyText(key_.Public);
    return options;
  }
  // Publishes the game files and serves their manifest's signature.
  std::string PublishSigned(uint64_t sequence, std::vector<TSiteFile> files = GameFiles()) {
    const std::string manifest = site_.Publish(files);
    ServeSignature("update.json", Signature(key_, "update.json", manifest, sequence, UnixNow() + 3600));
    return manifest;
  }
  void ServeSignature(const std::string& name, const std::string& text) {
    server_.Serve("/patch/" + name + ".sig", THttpReply::Text(text));
  }
  std::vector<std::string> TrustLines() const {
    std::vector<std::string> out;
    for (const std::string& line : install_.LogLines())
      if (line.find("[trust]") != std::string::npos) out.push_back(line);
    return out;
  }
  // The pass ended as a failed manifest fetch ends, fetched no file,
  // installed nothing and logged one line naming `reason`.
  void ExpectRefused(int result, const std::string& reason) {
    EXPECT_EQ(result, 0) << "a failed fetch ends the pass with 0";
    EXPECT_EQ(site_.FileRequests(), 0u);
    EXPECT_FALSE(plat::FileExists(install_.Path("Client.bin")));
    EXPECT_FALSE(plat::FileExists(install_.Path("data/update.json"))) << "no manifest copy kept";
    EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 1u);
    EXPECT_TRUE(install_.Logged("[网络故障]: 域名服务器故障"));
    const auto lines = TrustLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(reason), std::string::npos) << lines[0];
  }

  TKeyPair key_ = NewPair();
  test::THttpTestServer server_;
  test::TUpdateSite site_{server_};
  test::TInstallation install_;
};

TEST_F(UpdateTrustTest, SignedContentInstallsAndASecondRunReadsNoFile) {
  const std::string manifest = PublishSigned(7);
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, Keyed()), 1);
  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig);
  EXPECT_EQ(install_.Read("data/maps/m1.map"), std::string(9000, 'm'));
  EXPECT_EQ(install_.Read("data/update.json"), manifest);
  EXPECT_TRUE(TrustLines().empty());
  const std::string trust = install_.Read("data/update0.trust");
  EXPECT_NE(trust.find("#sequence 7\r\n"), std::string::npos) << trust;
  EXPECT_NE(trust.find("Client.bin=" + Sha256OfText("client program") + "-"), std::string::npos) << trust;

  const size_t before = site_.FileRequests();
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, Keyed()), 1);
  EXPECT_EQ(site_.FileRequests(), before);
  for (const std::string& line : install_.LogLines())
    EXPECT_EQ(line.find("+++"), std::string::npos) << "no file verified: " << line;
  EXPECT_EQ(site_.Hits("/patch/update.json.sig"), 2u);
}

TEST_F(UpdateTrustTest, ManifestChangedByOneByteIsRefused) {
  const std::string manifest = PublishSigned(1);
  std::string changed = manifest;
  changed[changed.find("Client.bin") + 9] = 'm';  // still a valid manifest
  server_.Serve("/patch/update.json", THttpReply::Text(changed));
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature does not verify");
}

TEST_F(UpdateTrustTest, SignatureChangedByOneByteIsRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  std::string sig = Signature(key_, "update.json", manifest, 1, UnixNow() + 3600);
  const size_t at = sig.find("signature=") + 20;
  sig[at] = sig[at] == '0' ? '1' : '0';
  ServeSignature("update.json", sig);
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature does not verify");
}

TEST_F(UpdateTrustTest, SequenceOrExpiryChangedIsRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  std::string sig = Signature(key_, "update.json", manifest, 5, UnixNow() + 3600);
  sig.replace(sig.find("sequence=5"), 10, "sequence=6");
  ServeSignature("update.json", sig);
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature does not verify");
}

TEST_F(UpdateTrustTest, SignatureFromAnotherKeyIsRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  ServeSignature("update.json", Signature(NewPair(), "update.json", manifest, 1, UnixNow() + 3600));
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature does not verify");
}

TEST_F(UpdateTrustTest, SignatureOfTheOtherPassIsRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  ServeSignature("update.json", Signature(key_, "updateL.json", manifest, 1, UnixNow() + 3600));
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature does not verify");
}

TEST_F(UpdateTrustTest, ExpiredSignatureIsRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  ServeSignature("update.json", Signature(key_, "update.json", manifest, 1, UnixNow() - 60));
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature expired");
}

TEST_F(UpdateTrustTest, MissingSignatureFileIsRefused) {
  site_.Publish(GameFiles());
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature file missing");
}

TEST_F(UpdateTrustTest, MalformedSignatureFilesAreRefused) {
  const std::string manifest = site_.Publish(GameFiles());
  const std::string good = Signature(key_, "update.json", manifest, 1, UnixNow() + 3600);
  for (const std::string& bad :
       {good + "\n", good.substr(0, good.size() - 1), "\r\n" + good, std::string(600, 'x'), std::string()}) {
    ServeSignature("update.json", bad);
    ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature file malformed");
  }
}

TEST_F(UpdateTrustTest, ReplayedOlderManifestIsRefused) {
  const std::string older = site_.Publish({{"Client.bin", "old client"}});
  const std::string olderSig = Signature(key_, "update.json", older, 100, UnixNow() + 3600);
  PublishSigned(200);
  ASSERT_EQ(install_.RunPass(site_.Base(), 0, Keyed()), 1);
  ASSERT_EQ(install_.Read("Client.bin"), "client program");

  // The older publication, validly signed, comes back.
  site_.Publish({{"Client.bin", "old client"}});
  ServeSignature("update.json", olderSig);
  const size_t before = site_.FileRequests();
  const int result = install_.RunPass(site_.Base(), 0, Keyed());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(site_.FileRequests(), before);
  EXPECT_EQ(install_.Read("Client.bin"), "client program") << "nothing replaced";
  const auto lines = TrustLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("replayed manifest"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("100 < 200"), std::string::npos) << lines[0];
}

TEST_F(UpdateTrustTest, SignedManifestWithoutSha256IsRefused) {
  site_.Strong = false;
  PublishSigned(1);
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "no valid Sha256 for Client.bin");
}

// The signature is checked while the manifest is parsed; the refusals
// still name one reason, the signature's before the digests'.
TEST_F(UpdateTrustTest, UnsignedManifestWithoutSha256NamesTheMissingSignatureOnly) {
  site_.Strong = false;
  site_.Publish(GameFiles());
  ExpectRefused(install_.RunPass(site_.Base(), 0, Keyed()), "signature file missing");
}

TEST_F(UpdateTrustTest, ManifestThatIsNoManifestIsNoSignatureMatter) {
  const std::string text = "{\"File\":\"Client.bin\"}";
  server_.Serve("/patch/update.json", THttpReply::Text(text));
  ServeSignature("update.json", "not a signature");
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, Keyed()), 0);
  EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 1u);
  EXPECT_TRUE(TrustLines().empty()) << TrustLines()[0];
}

TEST_F(UpdateTrustTest, StopAbortsASignatureFetchBlockedInTheNetwork) {
  site_.Publish(GameFiles());
  THttpReply silent;
  silent.neverAnswer = true;
  server_.Serve("/patch/update.json.sig", silent);
  auto thread = std::make_unique<TUpdateThread>(install_.Sink, 0, site_.Base(), Keyed());
  ASSERT_TRUE(test::WaitUntil([&] { return site_.Hits("/patch/update.json.sig") == 1; }, 5000));
  plat::SleepMs(20);
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            test::ScaledMs(300));
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_DONE).empty());
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_ERROR).empty()) << "a stopped fetch is no failure to show";
  EXPECT_EQ(site_.FileRequests(), 0u);
}

TEST_F(UpdateTrustTest, FileWhoseMd5MatchesButSha256DoesNotIsNotInstalled) {
  auto files = GameFiles();
  files[0].Sha256 = Sha256OfText("another client");
  PublishSigned(1, files);
  std::vector<std::string> failing;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, Keyed(), &failing), 1);
  EXPECT_FALSE(plat::FileExists(install_.Path("Client.bin"))) << "removed after the check";
  EXPECT_EQ(failing, std::vector<std::string>{"Client.bin"});
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig) << "the other files are fine";
  const auto lines = TrustLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(TUpdateThread::kMaxSweeps)) << "one per attempt";
  EXPECT_NE(lines[0].find("Client.bin refused: SHA-256 does not match"), std::string::npos) << lines[0];
}

TEST_F(UpdateTrustTest, InstalledFileWithTheRightMd5ButAnotherSha256IsFetchedAgain) {
  // Installed by a launcher without a key; the keyed one checks SHA-256 too.
  site_.Publish(GameFiles());
  ASSERT_EQ(install_.RunPass(site_.Base()), 1);
  auto files = GameFiles();
  files[1].Sha256 = Sha256OfText("not the skin");
  PublishSigned(1, files);
  const size_t skin = site_.Hits("/patch/data/ui/skin.dat"), client = site_.Hits("/patch/Client.bin");
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, Keyed()), 1);
  EXPECT_GT(site_.Hits("/patch/data/ui/skin.dat"), skin);
  EXPECT_EQ(site_.Hits("/patch/Client.bin"), client) << "both digests of the others match";
}

class UpdateTrustPackageTest : public UpdateTrustTest {
 protected:
  // A manifest whose files are not served, so only the package can bring
  // "extra.dat".
  std::string PublishPackageSigned(uint64_t sequence) {
    auto files = GameFiles();
    for (auto& f : files) f.Serve = false;
    PublishSigned(sequence, files);
    const std::string release = site_.PublishPackage("full.zip", {{"extra.dat", "from the package"}});
    server_.Serve("/patchcomplete/release.json.sig",
                  THttpReply::Text(Signature(key_, "release.json", release, sequence, UnixNow() + 3600)));
    install_.SetUpdateNow(2);
    return release;
  }
};

TEST_F(UpdateTrustPackageTest, SignedPackageInstalls) {
  PublishPackageSigned(3);
  install_.RunPass(site_.Base(), 0, Keyed());
  EXPECT_EQ(install_.Read("extra.dat"), "from the package");
  EXPECT_TRUE(TrustLines().empty());
  EXPECT_NE(install_.Read("data/update0.trust").find("#package-sequence 3\r\n"), std::string::npos);
}

TEST_F(UpdateTrustPackageTest, ReleaseChangedByOneByteIsRefused) {
  std::string release = PublishPackageSigned(3);
  release[release.find("\"Size\":") + 7] ^= 1;  // one digit of the size
  server_.Serve("/patchcomplete/release.json", THttpReply::Text(release));
  install_.RunPass(site_.Base(), 0, Keyed());
  EXPECT_FALSE(plat::FileExists(install_.Path("extra.dat")));
  EXPECT_EQ(site_.Hits("/patchcomplete/full.zip"), 0u);
  const auto lines = TrustLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("release.json refused: signature does not verify"), std::string::npos) << lines[0];
  EXPECT_TRUE(install_.Logged("更新失败，请稍后再试")) << "as a release.json that never came";
}

TEST_F(UpdateTrustPackageTest, PackageWhoseSha256DoesNotMatchIsNotUnpacked) {
  const std::string release = PublishPackageSigned(3);
  std::string changed = release;
  const size_t at = changed.find("\"Sha256\":\"") + 10;
  changed[at] = changed[at] == '0' ? '1' : '0';
  server_.Serve("/patchcomplete/release.json", THttpReply::Text(changed));
  server_.Serve("/patchcomplete/release.json.sig",
                THttpReply::Text(Signature(key_, "release.json", changed, 3, UnixNow() + 3600)));
  install_.RunPass(site_.Base(), 0, Keyed());
  EXPECT_GT(site_.Hits("/patchcomplete/full.zip"), 0u) << "downloaded, then refused";
  EXPECT_FALSE(plat::FileExists(install_.Path("extra.dat")));
  EXPECT_FALSE(plat::FileExists(install_.Path("full.zip"))) << "the archive is deleted";
  const auto lines = TrustLines();
  ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_NE(lines[0].find("full.zip refused: the package's digests"), std::string::npos) << lines[0];
}

TEST_F(UpdateTrustTest, KeyThatDoesNotParseAcceptsNothing) {
  PublishSigned(1);
  TUpdateThreadOptions options = Keyed();
  options.PublicKey = "not a key";
  ExpectRefused(install_.RunPass(site_.Base(), 0, options), "signature does not verify");
}

}  // namespace
}  // namespace lg
