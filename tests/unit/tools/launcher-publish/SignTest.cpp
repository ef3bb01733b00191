// launcher-publish keygen and --sign: the key files, signatures the
// launcher's check accepts, the sequence that never goes down, and the
// SHA-256 digests every manifest carries.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "common/Sha256.h"
#include "tests/support/TestSupport.h"
#include "tools/launcher-publish/PublishTool.h"
#include "tools/launcher-publish/SigningKey.h"
#include "tools/launcher-publish/TPublisher.h"
#include "update/ManifestSignature.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg::publish {
namespace {

class SignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ForceDirectories(Src() + "/data");
    ASSERT_TRUE(test::WriteFileBytes(Src() + "/Client.bin", "client"));
    ASSERT_TRUE(test::WriteFileBytes(Src() + "/data/a.pak", std::string(5000, 'a')));
  }
  std::string Src() const { return dir_.Path() + "game"; }
  std::string Web() const { return dir_.Path() + "www"; }
  std::string Key() const { return dir_.Path() + "update.key"; }
  int Tool(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunPublishTool(args, out_, err_, false);
  }
  std::string WebFile(const std::string& name) const { return test::ReadFileBytes(Web() + "/" + name); }
  crypto::TPublicKey PublicKey() const {
    crypto::TPublicKey key{};
    EXPECT_TRUE(ParsePublicKeyText(test::ReadFileBytes(Key() + ".pub"), key));
    return key;
  }
  // The launcher's check of the web root's `name` as published `signedName`.
  TTrustVerdict Check(const std::string& name, const std::string& signedName, TManifestSignature& parsed,
                      uint64_t lowest = 0) {
    return CheckManifestSignature(PublicKey(), signedName, WebFile(name), WebFile(name + ".sig"), lowest, UnixNow(),
                                  parsed);
  }

  test::TTempDir dir_;
  std::ostringstream out_, err_;
};

TEST_F(SignTest, KeygenWritesAPrivateFileOnlyItsOwnerReadsAndThePublicHalf) {
  ASSERT_EQ(Tool({"keygen", Key()}), 0) << err_.str();
  TSigningKey key;
  std::string error;
  ASSERT_TRUE(LoadSigningKey(Key(), key, error)) << error;
  EXPECT_EQ(test::ReadFileBytes(Key() + ".pub"), PublicKeyText(key.Public) + "\n");
  if (!test::IsWindowsBuild()) {
    namespace fs = std::filesystem;
    const fs::perms perms = fs::status(Key()).permissions();
    EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  }
  const std::string before = test::ReadFileBytes(Key());
  EXPECT_EQ(Tool({"keygen", Key()}), 1) << "an existing key is never overwritten";
  EXPECT_NE(err_.str().find("not overwritten"), std::string::npos) << err_.str();
  EXPECT_EQ(test::ReadFileBytes(Key()), before);
}

TEST_F(SignTest, SignedPublicationVerifiesAndCarriesSha256) {
  ASSERT_EQ(Tool({"keygen", Key()}), 0) << err_.str();
  ASSERT_EQ(Tool({"--src", Src(), "--out", Web(), "--zip", "**/*.pak", "--package", "--sign", Key()}), 0) << err_.str();
  EXPECT_NE(out_.str().find("signed: sequence "), std::string::npos) << out_.str();

  TManifestSignature manifest, release;
  EXPECT_EQ(Check("update.json", "update.json", manifest), TTrustVerdict::Accepted);
  EXPECT_EQ(Check("complete/release.json", "release.json", release), TTrustVerdict::Accepted);
  EXPECT_EQ(release.Sequence, manifest.Sequence);
  EXPECT_GE(manifest.Expires, UnixNow() + 29 * 86400) << "30 days by default";
  EXPECT_EQ(Check("update.json", "updateL.json", manifest), TTrustVerdict::BadSignature);

  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(WebFile("update.json"));
  ASSERT_TRUE(doc && doc->Kind() == jsList);
  auto* list = static_cast<TzqJSONlist*>(doc.get());
  ASSERT_EQ(list->Count(), 2);
  for (int i = 0; i < list->Count(); ++i) {
    auto* e = static_cast<TzqJSONobject*>(list->Child(i));
    const std::string file = e->FieldText("File");
    const std::string content = test::ReadFileBytes(Src() + "/" + (file == "Client.bin" ? file : "data/a.pak"));
    EXPECT_EQ(e->FieldText("Sha256"), Sha256OfText(content)) << file << ": of the installed file, not its archive";
  }
  std::unique_ptr<TzqJSONbase> rel = TzqJSONstreamed::ParseText(WebFile("complete/release.json"));
  ASSERT_TRUE(rel && rel->Kind() == jsObject);
  EXPECT_EQ(static_cast<TzqJSONobject*>(rel.get())->FieldText("Sha256"), Sha256OfText(WebFile("complete/package.zip")));
}

TEST_F(SignTest, SequenceGrowsWithEveryPublicationEvenWhenTheClockGoesBack) {
  TSigningKey key;
  ASSERT_TRUE(crypto::GenerateP256(key.Private, key.Public));
  auto run = [&](uint64_t now, int validDays) {
    TPublishOptions o;
    o.SourceDir = Src();
    o.WebRoot = Web();
    o.Sign = true;
    o.Key = key;
    o.ValidDays = validDays;
    o.Now = now;
    std::ostringstream sink;
    TPublisher p(o, sink);
    EXPECT_TRUE(p.Run()) << p.ErrorText();
    TManifestSignature sig;
    EXPECT_TRUE(ParseManifestSignature(WebFile("update.json.sig"), sig));
    EXPECT_EQ(sig.Sequence, p.Stats().Sequence);
    EXPECT_EQ(sig.Expires, now + static_cast<uint64_t>(validDays) * 86400);
    return sig.Sequence;
  };
  EXPECT_EQ(run(1000000, 1), 1000000u) << "the clock's seconds are the floor";
  EXPECT_EQ(run(1000000, 2), 1000001u) << "the same second: one more";
  EXPECT_EQ(run(500, 3), 1000002u) << "a clock set back";
  EXPECT_EQ(run(2000000, 3), 2000000u);
  // Unsigned runs in between keep the number.
  TPublishOptions o;
  o.SourceDir = Src();
  o.WebRoot = Web();
  std::ostringstream sink;
  TPublisher p(o, sink);
  ASSERT_TRUE(p.Run()) << p.ErrorText();
  EXPECT_EQ(run(600, 1), 2000001u);
}

TEST_F(SignTest, BadKeyFilesAndOptionsAreRefusedBeforeAnythingIsWritten) {
  ASSERT_TRUE(test::WriteFileBytes(Key(), "lg-update-signing-key p256\nprivate=00\n"));
  EXPECT_EQ(Tool({"--src", Src(), "--out", Web(), "--sign", Key()}), 1);
  EXPECT_NE(err_.str().find("not a signing key"), std::string::npos) << err_.str();
  EXPECT_EQ(Tool({"--src", Src(), "--out", Web(), "--sign", dir_.Path() + "missing.key"}), 1);
  EXPECT_EQ(Tool({"--src", Src(), "--out", Web(), "--sign", Key(), "--valid-days", "0"}), 2);
  EXPECT_FALSE(plat::FileExists(Web() + "/update.json"));

  // A pair whose halves do not belong together cannot sign.
  TSigningKey a, b;
  ASSERT_TRUE(crypto::GenerateP256(a.Private, a.Public));
  ASSERT_TRUE(crypto::GenerateP256(b.Private, b.Public));
  a.Public = b.Public;
  ASSERT_TRUE(test::WriteFileBytes(Key(), SigningKeyText(a)));
  EXPECT_EQ(Tool({"--src", Src(), "--out", Web(), "--sign", Key()}), 1);
  EXPECT_NE(err_.str().find("does not hold a valid key pair"), std::string::npos) << err_.str();
  EXPECT_FALSE(plat::FileExists(Web() + "/update.json"));
}

TEST_F(SignTest, ACacheFromBeforeTheSha256ReadsEveryFileOnceMore) {
  auto run = [&] {
    TPublishOptions o;
    o.SourceDir = Src();
    o.WebRoot = Web();
    std::ostringstream sink;
    TPublisher p(o, sink);
    EXPECT_TRUE(p.Run()) << p.ErrorText();
    return p.Stats();
  };
  run();
  EXPECT_EQ(run().Hashed, 0) << "the cache keeps both digests";
  // The same cache as the first version wrote it: MD5 only.
  std::string cache = WebFile(".publish-cache");
  ASSERT_EQ(cache.rfind("launcher-publish cache 2\n", 0), 0u) << cache;
  cache.replace(0, 24, "launcher-publish cache 1");
  for (size_t slash; (slash = cache.find('/' + Sha256OfText("client"))) != std::string::npos;) cache.erase(slash, 65);
  for (size_t slash; (slash = cache.find('/' + Sha256OfText(std::string(5000, 'a')))) != std::string::npos;)
    cache.erase(slash, 65);
  ASSERT_TRUE(test::WriteFileBytes(Web() + "/.publish-cache", cache));
  EXPECT_EQ(run().Hashed, 2);
  EXPECT_NE(WebFile("update.json").find("\"Sha256\":\"" + Sha256OfText("client") + "\""), std::string::npos);
}

TEST(SigningKey, TextRoundTripAndStrictReading) {
  TSigningKey key;
  ASSERT_TRUE(crypto::GenerateP256(key.Private, key.Public));
  const std::string text = SigningKeyText(key);
  TSigningKey back;
  ASSERT_TRUE(ParseSigningKey(text, back));
  EXPECT_EQ(back.Private, key.Private);
  EXPECT_EQ(back.Public, key.Public);
  EXPECT_FALSE(ParseSigningKey(text + "x", back));
  EXPECT_FALSE(ParseSigningKey(text.substr(0, text.size() - 1), back));
  std::string bad = text;
  bad[bad.find("private=") + 8] = 'g';
  EXPECT_FALSE(ParseSigningKey(bad, back));
}

}  // namespace
}  // namespace lg::publish
