// The signature file's strict reader, what the signed digest binds, and
// the trust file's lines.
#include "update/ManifestSignature.h"

#include <gtest/gtest.h>

#include "update/TrustStateFile.h"

namespace lg {
namespace {

const std::string kSig = "sequence=12\nexpires=1700000000\nsignature=" + std::string(128, 'a') + "\n";

TEST(ManifestSignature, ReadsTheThreeLinesAndWritesThemBack) {
  TManifestSignature s;
  ASSERT_TRUE(ParseManifestSignature(kSig, s));
  EXPECT_EQ(s.Sequence, 12u);
  EXPECT_EQ(s.Expires, 1700000000u);
  EXPECT_EQ(s.Signature[0], 0xaa);
  EXPECT_EQ(FormatManifestSignature(s), kSig);
}

TEST(ManifestSignature, RefusesEverythingElse) {
  const std::string hex(128, 'a');
  for (const std::string& bad : {
           std::string(), kSig.substr(0, kSig.size() - 1),                      // last LF missing
           kSig + "x",                                                          // trailing bytes
           "expires=1700000000\nsequence=12\nsignature=" + hex + "\n",          // order
           "sequence=-12\nexpires=1700000000\nsignature=" + hex + "\n",         // sign
           "sequence= 12\nexpires=1700000000\nsignature=" + hex + "\n",         // blank
           "sequence=1234567890123456789\nexpires=1\nsignature=" + hex + "\n",  // 19 digits
           "sequence=12\r\nexpires=1700000000\nsignature=" + hex + "\n",        // CR
           "sequence=12\nexpires=\nsignature=" + hex + "\n",                    // empty number
           "sequence=12\nexpires=1\nsignature=" + hex.substr(2) + "\n",         // short
           "sequence=12\nexpires=1\nsignature=" + hex + "aa\n",                 // long
           "sequence=12\nexpires=1\nsignatur=" + hex + "\n",                    // key
           kSig + std::string(600, '\n'),                                       // oversized
       }) {
    TManifestSignature s;
    EXPECT_FALSE(ParseManifestSignature(bad, s)) << bad;
  }
}

TEST(ManifestSignature, DigestBindsNameSequenceExpiryAndBytes) {
  const auto base = ManifestSignedDigest("update.json", 1, 2, "[x]");
  EXPECT_EQ(ManifestSignedDigest("update.json", 1, 2, "[x]"), base);
  EXPECT_NE(ManifestSignedDigest("updateL.json", 1, 2, "[x]"), base);
  EXPECT_NE(ManifestSignedDigest("update.json", 2, 2, "[x]"), base);
  EXPECT_NE(ManifestSignedDigest("update.json", 1, 3, "[x]"), base);
  EXPECT_NE(ManifestSignedDigest("update.json", 1, 2, "[y]"), base);
  // Length prefixes: bytes moved from the name into the manifest differ.
  EXPECT_NE(ManifestSignedDigest("ab", 1, 2, "c"), ManifestSignedDigest("a", 1, 2, "bc"));
}

TEST(ManifestSignature, PublicKeyText) {
  crypto::TPublicKey key{};
  EXPECT_TRUE(ParsePublicKeyText(std::string(128, 'F') + "\r\n", key));
  EXPECT_EQ(key[63], 0xff);
  EXPECT_EQ(PublicKeyText(key), std::string(128, 'f'));
  EXPECT_FALSE(ParsePublicKeyText(std::string(127, 'f'), key));
  EXPECT_FALSE(ParsePublicKeyText("", key));
  EXPECT_FALSE(ParsePublicKeyText(" " + std::string(128, 'f'), key));
}

TEST(TrustStateFile, RoundTripAndNamesThatLookLikeMetaLines) {
  TTrustState state;
  state.Sequence = 123456789012;
  state.PackageSequence = 7;
  state.Digests = {{"a.dat", std::string(64, 'a'), 5}, {"#sequence 9", std::string(64, 'b'), -1}};
  const TTrustState back = ParseTrustState(FormatTrustState(state));
  EXPECT_EQ(back.Sequence, state.Sequence);
  EXPECT_EQ(back.PackageSequence, 7u);
  ASSERT_EQ(back.Digests.size(), 2u);
  EXPECT_EQ(back.Digests[1].Name, "#sequence 9") << "a line with \"=\" is a file";
  EXPECT_EQ(back.Digests[1].Stamp, -1);
  EXPECT_EQ(ParseTrustState("#sequence 12x\r\n#package-sequence 99999999999999999999\r\n").Sequence, 0u);
  EXPECT_EQ(ParseTrustState("#package-sequence 99999999999999999999\r\n").PackageSequence, 0u);
}

}  // namespace
}  // namespace lg
