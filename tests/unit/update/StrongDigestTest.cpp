// The 32-byte digest a record keeps, its text forms, and the trust file's
// digests walked in the local state's order.
#include "update/StrongDigest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/Sha256.h"
#include "update/ManifestDigestText.h"
#include "update/TrustStateFile.h"

namespace lg {
namespace {

std::u16string Wide(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

// What the comparison must decide, spelled out the slow way: 64 digits,
// either case, the same value.
bool ReferenceSame(const TStrongDigest& digest, std::u16string_view text) {
  if (!digest.Known || text.size() != 64) return false;
  const std::string lower = StrongDigestText(digest);
  for (size_t i = 0; i < 64; ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<char16_t>(lower[i])) return false;
  }
  return true;
}

TEST(StrongDigest, TextRoundTripsInBothCasesAndBothWidths) {
  const std::string lower = Sha256OfText("some file");
  std::string upper = lower;
  for (char& c : upper)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  TStrongDigest narrow, wide, fromUpper;
  ASSERT_TRUE(ParseStrongDigest(lower, narrow));
  ASSERT_TRUE(ParseStrongDigest(Wide(lower), wide));
  ASSERT_TRUE(ParseStrongDigest(upper, fromUpper));
  EXPECT_TRUE(narrow.Known);
  EXPECT_EQ(narrow.Bytes, wide.Bytes);
  EXPECT_EQ(narrow.Bytes, fromUpper.Bytes);
  EXPECT_EQ(StrongDigestText(narrow), lower);
  uint8_t bytes[32];
  ASSERT_TRUE(ParseHexExact(lower, bytes, sizeof bytes));
  EXPECT_EQ(0, std::memcmp(bytes, narrow.Bytes.data(), sizeof bytes));
  // Every digit value in every position, not only those of one digest.
  const std::string all = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789ABCDEF";
  TStrongDigest every;
  ASSERT_TRUE(ParseStrongDigest(all, every));
  EXPECT_EQ(StrongDigestText(every), "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
  EXPECT_EQ(StrongDigestText(TStrongDigest{}), "");
}

TEST(StrongDigest, RefusesAnyOtherTextAndForgetsWhatItHeld) {
  const std::string good = Sha256OfText("x");
  TStrongDigest held;
  ASSERT_TRUE(ParseStrongDigest(good, held));
  for (const std::string& bad : {std::string(), good.substr(1), good + "0", std::string(64, ' ')}) {
    TStrongDigest d = held;
    EXPECT_FALSE(ParseStrongDigest(bad, d)) << bad;
    EXPECT_FALSE(d.Known) << bad;
  }
  // Each unit next to a digit range, and units that only look like digits
  // once their high bits or case bit are dropped, in each position.
  const char16_t near[] = {u'/', u':', u'@', u'G', u'`', u'g', 0x10, 0x0130, 0x0161, 0xFF10, 0x00C1, 0x0041 | 0x80};
  for (size_t at = 0; at < 64; ++at)
    for (char16_t c : near) {
      std::u16string text = Wide(good);
      text[at] = c;
      TStrongDigest d;
      EXPECT_FALSE(ParseStrongDigest(text, d)) << at << " " << static_cast<unsigned>(c);
      std::string narrow = good;
      narrow[at] = static_cast<char>(c & 0xFF);
      if ((c & 0xFF) == c) {
        EXPECT_FALSE(ParseStrongDigest(narrow, d)) << at << " " << static_cast<unsigned>(c);
      }
    }
}

TEST(StrongDigest, ComparisonAgreesWithTheSlowOneForEveryUnitInEveryPosition) {
  TStrongDigest digest;
  ASSERT_TRUE(ParseStrongDigest("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", digest));
  const std::u16string lower = Wide(StrongDigestText(digest));
  EXPECT_TRUE(SameStrongDigest(digest, lower));
  for (size_t at = 0; at < 64; ++at)
    for (unsigned c = 0; c < 0x200; ++c) {
      std::u16string text = lower;
      text[at] = static_cast<char16_t>(c);
      ASSERT_EQ(SameStrongDigest(digest, text), ReferenceSame(digest, text)) << at << " " << c;
    }
  std::u16string upper = lower;
  for (char16_t& c : upper)
    if (c >= u'a') c = static_cast<char16_t>(c - u'a' + u'A');
  EXPECT_TRUE(SameStrongDigest(digest, upper));
  EXPECT_FALSE(SameStrongDigest(digest, lower.substr(0, 63)));
  EXPECT_FALSE(SameStrongDigest(digest, lower + u"0"));
  // Nothing names a digest that is not known, not even all zeros.
  EXPECT_FALSE(SameStrongDigest(TStrongDigest{}, std::u16string(64, u'0')));
}

TEST(StrongDigest, ManifestTextCheckAcceptsWhatParsesForEveryUnitInEveryPosition) {
  const std::u16string good = Wide("0123456789abcdefABCDEF0123456789abcdef0123456789abcdef0123456789");
  ASSERT_TRUE(IsSha256Text(good));
  for (size_t at = 0; at < 64; ++at)
    for (unsigned c = 0; c < 0x10000; c += c < 0x200 ? 1 : 0x7F) {
      std::u16string text = good;
      text[at] = static_cast<char16_t>(c);
      TStrongDigest parsed;
      ASSERT_EQ(IsSha256Text(text), ParseStrongDigest(text, parsed)) << at << " " << c;
    }
  EXPECT_FALSE(IsSha256Text(good.substr(1)));
  EXPECT_FALSE(IsSha256Text(good + u"0"));
}

TEST(TrustDigests, FollowsTheWrittenOrderAndFindsTheRestByName) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
  const std::string text = "#sequence 4\r\n#package-sequence 2\r\none=" + a + "-1\r\n#note\r\ntwo=" + b +
                           "-2\r\nthree=" + c + "-3\r\ntwo=" + a + "-9\r\n";
  TTrustDigests digests(text);
  const TLocalStateView* line = digests.Find("one");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->Hash, a);
  EXPECT_EQ(line->Stamp, 1);
  // A name the file lacks leaves the next line for the name after it.
  EXPECT_EQ(digests.Find("absent"), nullptr);
  line = digests.Find("two");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->Hash, b);
  // Out of order: found by name, the first of its lines.
  line = digests.Find("two");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->Stamp, 2);
  line = digests.Find("three");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->Hash, c);
  line = digests.Find("one");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->Stamp, 1);
  // A meta line is never a file's digest.
  EXPECT_EQ(digests.Find("#sequence 4"), nullptr);
  EXPECT_EQ(TTrustDigests("").Find("one"), nullptr);
}

TEST(TrustDigests, SequencesAloneReadAsTheWholeFileReadsThem) {
  const std::string a(64, 'a');
  for (const std::string& text : {std::string("#sequence 41\r\n#package-sequence 5\r\nf=" + a + "-1\r\n"),
                                  std::string("f=" + a + "-1\n#package-sequence 7\r#sequence 12x\r\n"),
                                  std::string("#sequence 3=x-1\r\n"), std::string()}) {
    const TTrustStateView whole = ParseTrustStateInPlace(text);
    const TTrustStateView alone = ParseTrustSequences(text);
    EXPECT_EQ(alone.Sequence, whole.Sequence) << text;
    EXPECT_EQ(alone.PackageSequence, whole.PackageSequence) << text;
    EXPECT_TRUE(alone.Digests.empty());
  }
  // Only the lines above the first digest hold sequences; one further down
  // counts for neither reader.
  const std::string later = "#sequence 41\r\nf=" + a + "-1\r\n#sequence 99\r\n#package-sequence 8\r\n";
  EXPECT_EQ(ParseTrustStateInPlace(later).Sequence, 41u);
  EXPECT_EQ(ParseTrustStateInPlace(later).PackageSequence, 0u);
  EXPECT_EQ(ParseTrustStateInPlace(later).Digests.size(), 1u);
  EXPECT_EQ(ParseTrustSequences(later).Sequence, 41u);
  EXPECT_EQ(ParseTrustSequences(later).PackageSequence, 0u);
  EXPECT_EQ(ParseTrustSequences("#sequence 41\r\n#package-sequence 5\r\n").Sequence, 41u);
  EXPECT_EQ(ParseTrustSequences("#sequence 41\r\n#package-sequence 5\r\n").PackageSequence, 5u);
}

}  // namespace
}  // namespace lg
