// The trust file read in place, the line splitter it shares with the local
// state, and the comparison of the manifest's SHA-256 text.
#include "update/TrustStateFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "update/ManifestDigestText.h"
#include "update/TextLines.h"

namespace lg {
namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  TTextLines lines(text);
  std::string_view line;
  while (lines.Next(line)) out.emplace_back(line);
  return out;
}

TEST(TextLines, EveryKindOfEndAndEmptyLines) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(Lines("\n"), V{""});
  EXPECT_EQ(Lines("a"), V{"a"});
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  // CR LF counts as one end; CR CR LF as two, LF CR as two.
  EXPECT_EQ(Lines("a\r\r\nb\n\rc\r"), (V{"a", "", "b", "", "c"}));
  // CR-only endings throughout, where no LF search ever hits.
  EXPECT_EQ(Lines("x\ry\r\rz"), (V{"x", "y", "", "z"}));
}

TEST(TrustStateFile, InPlaceReadsOddLinesAsTheCopyDoes) {
  const std::string a(64, 'a'), b(64, 'b');
  const std::string text = "#sequence 41\rno equals sign\r\n#package-sequence 5\n" + std::string("a.dat=") + a +
                           "-7\r" + "#sequence 9=" + b + "-1\r\n" + "bad=-3\r\n" + "a.dat=" + b + "--2\r\r\n" +
                           "last=" + a + "-0";
  const TTrustStateView view = ParseTrustStateInPlace(text);
  EXPECT_EQ(view.Sequence, 41u);
  EXPECT_EQ(view.PackageSequence, 5u);
  ASSERT_EQ(view.Digests.size(), 4u);
  EXPECT_EQ(view.Digests[0].Name, "a.dat");
  EXPECT_EQ(view.Digests[0].Stamp, 7);
  EXPECT_EQ(view.Digests[1].Name, "#sequence 9") << "a line with \"=\" is a file";
  EXPECT_EQ(view.Digests[2].Name, "a.dat") << "a repeated name is kept, in its place";
  EXPECT_EQ(view.Digests[2].Hash, b);
  EXPECT_EQ(view.Digests[2].Stamp, -2);
  EXPECT_EQ(view.Digests[3].Name, "last");
  for (const TLocalStateView& line : view.Digests)
    EXPECT_TRUE(line.Hash.data() >= text.data() && line.Hash.data() + line.Hash.size() <= text.data() + text.size())
        << "not read in place: " << line.Name;

  const TTrustState copy = ParseTrustState(text);
  EXPECT_EQ(copy.Sequence, view.Sequence);
  EXPECT_EQ(copy.PackageSequence, view.PackageSequence);
  ASSERT_EQ(copy.Digests.size(), view.Digests.size());
  for (size_t i = 0; i < copy.Digests.size(); ++i) {
    EXPECT_EQ(copy.Digests[i].Name, view.Digests[i].Name);
    EXPECT_EQ(copy.Digests[i].Hash, view.Digests[i].Hash);
    EXPECT_EQ(copy.Digests[i].Stamp, view.Digests[i].Stamp);
  }
  // Both forms write the same file, in the CR LF form whatever was read.
  EXPECT_EQ(FormatTrustState(view), FormatTrustState(copy));
  EXPECT_EQ(FormatTrustState(view).substr(0, 35), "#sequence 41\r\n#package-sequence 5\r\n");
}

TEST(ManifestDigestText, ComparesAsTheLoweredGbkTextWould) {
  const std::string lower = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
  const std::u16string upper = u"0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef";
  EXPECT_TRUE(IsSha256Text(upper));
  EXPECT_FALSE(IsSha256Text(upper.substr(1)));
  EXPECT_FALSE(IsSha256Text(upper.substr(1) + u"g"));
  EXPECT_FALSE(IsSha256Text(upper.substr(1) + u"\uff10"));  // a full-width digit
  EXPECT_FALSE(IsSha256Text(upper.substr(1) + u"\u0141"));  // 'A' in its low byte
  EXPECT_EQ(Sha256TextOf(upper), lower);

  const std::u16string cases[] = {upper,
                                  upper.substr(1),
                                  upper + u"0",
                                  u"",
                                  u"\u4e2d" + upper,
                                  upper.substr(0, 63) + u"\u4e2d",
                                  u"G" + upper.substr(1)};
  const std::string digests[] = {lower, lower.substr(1), "", Sha256TextOf(u"\u4e2d" + upper),
                                 Sha256TextOf(upper.substr(0, 63) + u"\u4e2d")};
  for (const std::u16string& text : cases)
    for (const std::string& digest : digests)
      EXPECT_EQ(SameSha256Text(digest, text), digest == Sha256TextOf(text))
          << digest << " against " << Sha256TextOf(text);
  EXPECT_TRUE(SameSha256Text(lower, upper));
  EXPECT_FALSE(SameSha256Text(lower, upper.substr(0, 63) + u"e"));
  EXPECT_TRUE(SameSha256Text(lower, upper.substr(0, 63) + u"F"));
}

}  // namespace
}  // namespace lg
