#include "Library/hDownload/TNamesHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace lg {
namespace {

void* V(intptr_t v) {
  return reinterpret_cast<void*>(v);
}

std::vector<intptr_t> Walk(TNamesHash& table) {
  std::vector<intptr_t> out;
  table.First();
  while (!table.AtEnd()) out.push_back(reinterpret_cast<intptr_t>(table.Next()));
  return out;
}

TEST(TNamesHash, HashFoldsAsciiCapitalsButNotGbkTrailBytes) {
  EXPECT_EQ(TNamesHash::Hash(""), 0u);
  EXPECT_EQ(TNamesHash::Hash("a"), static_cast<uint32_t>('a'));
  EXPECT_EQ(TNamesHash::Hash("ab"), ((uint32_t{'a'} << 2) ^ 'b'));
  EXPECT_EQ(TNamesHash::Hash("Data\\UI.DAT"), TNamesHash::Hash("data\\ui.dat"));
  // 0x81 0x41 is one GBK character whose trail byte happens to be 'A': it
  // must not be folded, while a lone 'A' after it is.
  EXPECT_NE(TNamesHash::Hash("\x81\x41"), TNamesHash::Hash("\x81\x61"));
  EXPECT_EQ(TNamesHash::Hash("\x81\x41"
                             "A"),
            TNamesHash::Hash("\x81\x41"
                             "a"));
  // Rotation wraps at 32 bits.
  std::string longName(40, 'z');
  uint32_t h = 0;
  for (char c : longName) h = ((h << 2) | (h >> 30)) ^ static_cast<unsigned char>(c);
  EXPECT_EQ(TNamesHash::Hash(longName), h);
}

TEST(TNamesHash, NamesCompareWithoutAsciiCase) {
  struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Launcher.EXE", "launcher.exe", true}, {"a", "b", false},   {"ab", "abc", false},
      {"\x81\x41", "\x81\x61", false},                              // trail bytes are compared exactly
      {"\xD6\xD0X", "\xD6\xD0x", true},       {"a[", "A{", false},  // only letters fold
  };
  for (const auto& c : cases) EXPECT_EQ(TNamesHash::SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST(TNamesHash, AddFindRemoveIgnoreLetterCase) {
  TNamesHash table(1023);
  EXPECT_TRUE(table.Add("data\\A.dat", V(1)));
  EXPECT_FALSE(table.Add("DATA\\a.DAT", V(2)));
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Find("data\\a.dat"), V(1));
  EXPECT_EQ(table.Find("DATA\\A.DAT"), V(1));
  EXPECT_EQ(table.Find("data\\b.dat"), nullptr);
  EXPECT_FALSE(table.Remove("data\\b.dat"));
  EXPECT_TRUE(table.Remove("Data\\A.Dat"));
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Find("data\\A.dat"), nullptr);
  EXPECT_TRUE(table.Add("data\\A.dat", V(3)));
  EXPECT_EQ(table.Find("data\\a.dat"), V(3));
}

TEST(TNamesHash, WalkFollowsTheOrderOfAddingWhateverTheBuckets) {
  // Three buckets force chains; the walk must not follow them.
  TNamesHash table(3);
  for (int i = 1; i <= 20; ++i) ASSERT_TRUE(table.Add("f" + std::to_string(i), V(i)));
  std::vector<intptr_t> expected;
  for (int i = 1; i <= 20; ++i) expected.push_back(i);
  EXPECT_EQ(Walk(table), expected);
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(table.Find("F" + std::to_string(i)), V(i));

  ASSERT_TRUE(table.Remove("f1"));
  ASSERT_TRUE(table.Remove("f20"));
  ASSERT_TRUE(table.Remove("f10"));
  expected.erase(std::remove(expected.begin(), expected.end(), 10), expected.end());
  expected.erase(expected.begin());
  expected.pop_back();
  EXPECT_EQ(Walk(table), expected);
  for (intptr_t v : expected) EXPECT_EQ(table.Find("f" + std::to_string(v)), V(v));
}

TEST(TNamesHash, NamesSharingTheirWholeHashStayApartThroughAddsAndRemoves) {
  // Names of a game's folders differ in a digit or two; many share the
  // whole hash, not only the bucket.
  TNamesHash table(1023);
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "data\\pack%02d\\f%05d.bin", i % 40, i);
    names.push_back(name);
  }
  size_t sharing = 0;
  for (size_t i = 1; i < names.size(); ++i) sharing += TNamesHash::Hash(names[i]) == TNamesHash::Hash(names[0]);
  ASSERT_GT(sharing, 0u) << "the case needs names with one hash";
  for (size_t i = 0; i < names.size(); ++i) ASSERT_TRUE(table.Add(names[i], V(static_cast<intptr_t>(i + 1))));
  for (size_t i = 0; i < names.size(); i += 3) ASSERT_TRUE(table.Remove(names[i]));
  for (size_t i = 0; i < names.size(); i += 6) ASSERT_TRUE(table.Add(names[i], V(-static_cast<intptr_t>(i + 1))));
  std::vector<intptr_t> expected;
  for (size_t i = 0; i < names.size(); ++i)
    if (i % 3 != 0) expected.push_back(static_cast<intptr_t>(i + 1));
  for (size_t i = 0; i < names.size(); i += 6) expected.push_back(-static_cast<intptr_t>(i + 1));
  EXPECT_EQ(Walk(table), expected);
  EXPECT_EQ(table.Count(), static_cast<int>(expected.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    const intptr_t want = i % 6 == 0 ? -static_cast<intptr_t>(i + 1) : i % 3 == 0 ? 0 : static_cast<intptr_t>(i + 1);
    ASSERT_EQ(table.Find(names[i]), V(want)) << names[i];
    if (want != 0) {
      EXPECT_FALSE(table.Add(names[i], V(7))) << "no second entry for " << names[i];
    }
  }
}

TEST(TNamesHash, RemovingTheEntryUnderTheCursorContinuesWithTheNext) {
  TNamesHash table(1023);
  for (int i = 1; i <= 5; ++i) table.Add("n" + std::to_string(i), V(i));
  std::vector<intptr_t> seen;
  table.First();
  seen.push_back(reinterpret_cast<intptr_t>(table.Next()));  // 1; cursor on 2
  ASSERT_TRUE(table.Remove("n2"));
  while (!table.AtEnd()) {
    intptr_t v = reinterpret_cast<intptr_t>(table.Next());
    seen.push_back(v);
    if (v == 4) {
      ASSERT_TRUE(table.Remove("n5"));  // the last, under the cursor
    }
  }
  EXPECT_EQ(seen, (std::vector<intptr_t>{1, 3, 4}));
}

TEST(TNamesHash, NextRestartsAtTheEndAndGivesNothingWhenEmpty) {
  TNamesHash table(7);
  table.First();
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.Next(), nullptr);
  table.Add("a", V(1));
  table.Add("b", V(2));
  table.First();
  EXPECT_EQ(table.Next(), V(1));
  EXPECT_EQ(table.Next(), V(2));
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.Next(), V(1)) << "restarts from the first entry";
  EXPECT_FALSE(table.AtEnd());
}

TEST(TNamesHash, OnReleaseSeesEveryRemovedOrClearedEntry) {
  std::vector<std::string> released;
  {
    TNamesHash table(1023);
    table.OnRelease = [&](void* value, const std::string& name) {
      released.push_back(name + "=" + std::to_string(reinterpret_cast<intptr_t>(value)));
    };
    table.Add("a", V(1));
    table.Add("b", V(2));
    table.Add("c", V(3));
    EXPECT_FALSE(table.Add("A", V(9)));
    table.Remove("B");
    EXPECT_EQ(released, (std::vector<std::string>{"b=2"}));
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    table.First();
    EXPECT_TRUE(table.AtEnd());
    EXPECT_EQ(table.Find("a"), nullptr);
    table.Add("d", V(4));
  }
  EXPECT_EQ(released, (std::vector<std::string>{"b=2", "a=1", "c=3", "d=4"})) << "the destructor clears";
}

}  // namespace
}  // namespace lg
