// SHA-256 and ECDSA P-256 against published known answers (FIPS 180
// examples, RFC 6979 appendix A.2.5), and the platform's signing round
// trip. Run natively and under Wine, so both platform layers answer alike.
#include "common/Crypto.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Sha256.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

using crypto::TPrivateKey;
using crypto::TPublicKey;
using crypto::TSha256Digest;
using crypto::TSignature;

template <size_t N>
std::array<uint8_t, N> Hex(const std::string& text) {
  std::array<uint8_t, N> out{};
  EXPECT_TRUE(ParseHexExact(text, out.data(), N)) << text;
  return out;
}

TSha256Digest DigestOf(const std::string& text) {
  crypto::TSha256 sha;
  sha.Update(text.data(), text.size());
  return sha.Final();
}

// RFC 6979, A.2.5: the P-256 key pair and its SHA-256 signatures.
const TPrivateKey kRfcPrivate = Hex<32>("C9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721");
const TPublicKey kRfcPublic = Hex<64>(
    "60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
    "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299");
const TSignature kRfcSample = Hex<64>(
    "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
    "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8");
const TSignature kRfcTest = Hex<64>(
    "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367"
    "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083");
// The group order n: s = n is out of range.
const std::string kOrder = "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551";

TEST(TSha256, PublishedExamples) {
  EXPECT_EQ(Sha256OfText(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256OfText("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256OfText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(TSha256, MillionAInUnevenPiecesAndFromAFile) {
  const std::string a(1000000, 'a');
  const std::string expected = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  crypto::TSha256 sha;
  for (size_t at = 0, step = 1; at < a.size(); at += step, step = step * 3 + 1)
    sha.Update(a.data() + at, std::min(step, a.size() - at));
  EXPECT_EQ(Sha256Hex(sha.Final()), expected);

  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("a.bin"), a));
  EXPECT_EQ(Sha256OfFile(dir.File("a.bin")), expected);
  EXPECT_EQ(Sha256OfFile(dir.File("missing.bin")), std::string(64, '0'));
}

TEST(TEcdsaP256, RfcSignaturesVerify) {
  EXPECT_TRUE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), kRfcSample));
  EXPECT_TRUE(crypto::VerifyP256(kRfcPublic, DigestOf("test"), kRfcTest));
}

TEST(TEcdsaP256, AnyChangeIsRefused) {
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("test"), kRfcSample)) << "other message";
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), kRfcTest));
  for (size_t byte : {0u, 31u, 32u, 63u}) {
    TSignature s = kRfcSample;
    s[byte] ^= 0x01;
    EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), s)) << "signature byte " << byte;
  }
  TPublicKey offCurve = kRfcPublic;
  offCurve[63] ^= 0x01;
  EXPECT_FALSE(crypto::VerifyP256(offCurve, DigestOf("sample"), kRfcSample)) << "point off the curve";
  TPublicKey zero{};
  EXPECT_FALSE(crypto::VerifyP256(zero, DigestOf("sample"), kRfcSample));
}

TEST(TEcdsaP256, OutOfRangeScalarsAreRefused) {
  TSignature s = kRfcSample;
  std::fill(s.begin() + 32, s.end(), 0);
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), s)) << "s = 0";
  s = kRfcSample;
  std::fill(s.begin(), s.begin() + 32, 0);
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), s)) << "r = 0";
  s = kRfcSample;
  ASSERT_TRUE(ParseHexExact(kOrder, s.data() + 32, 32));
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), s)) << "s = n";
}

TEST(TEcdsaP256, SignedDigestVerifiesOnlyUnderItsOwnKey) {
  ASSERT_TRUE(crypto::SigningSupported());
  TSignature s{};
  // The RFC's pair signs too (with a random nonce, so a new signature).
  ASSERT_TRUE(crypto::SignP256(kRfcPrivate, kRfcPublic, DigestOf("sample"), s));
  EXPECT_TRUE(crypto::VerifyP256(kRfcPublic, DigestOf("sample"), s));

  TPrivateKey priv{};
  TPublicKey pub{};
  ASSERT_TRUE(crypto::GenerateP256(priv, pub));
  EXPECT_NE(pub, kRfcPublic);
  ASSERT_TRUE(crypto::SignP256(priv, pub, DigestOf("manifest"), s));
  EXPECT_TRUE(crypto::VerifyP256(pub, DigestOf("manifest"), s));
  EXPECT_FALSE(crypto::VerifyP256(kRfcPublic, DigestOf("manifest"), s)) << "another key";
  EXPECT_FALSE(crypto::VerifyP256(pub, DigestOf("manifesT"), s));
  EXPECT_FALSE(crypto::SignP256(priv, kRfcPublic, DigestOf("manifest"), s)) << "halves of two pairs";
}

TEST(HexText, StrictReading) {
  uint8_t out[2];
  EXPECT_TRUE(ParseHexExact("aB0f", out, 2));
  EXPECT_EQ(HexText(out, 2), "ab0f");
  EXPECT_FALSE(ParseHexExact("ab0", out, 2));
  EXPECT_FALSE(ParseHexExact("ab0fa", out, 2));
  EXPECT_FALSE(ParseHexExact("ab0g", out, 2));
  EXPECT_FALSE(ParseHexExact(" b0f", out, 2));
}

}  // namespace
}  // namespace lg
