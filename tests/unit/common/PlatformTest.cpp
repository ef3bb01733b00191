#include "common/Platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <vector>

#include "common/Deployment.h"
#include "common/FileAttributes.h"
#include "common/FileStream.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

int64_t LocalToUnix(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&t));
}

TEST(Platform, FileStampPacksLocalDosDateAndTime) {
  test::TTempDir dir;
  const std::string f = dir.File("stamp.txt");
  ASSERT_TRUE(test::WriteFileBytes(f, "x"));
  ASSERT_TRUE(plat::SetLastWriteTime(f, LocalToUnix(2020, 1, 2, 3, 4, 7)));
  const uint32_t date = ((2020 - 1980) << 9) | (1 << 5) | 2;
  const uint32_t time = (3 << 11) | (4 << 5) | (7 / 2);  // two-second resolution
  EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(f)), (date << 16) | time);
  EXPECT_EQ(plat::FileStamp(dir.File("missing")), -1);
  EXPECT_EQ(plat::FileStamp(dir.Path()), -1) << "folders have no stamp";
}

TEST(Platform, FileHelpersWorkWithBackslashPaths) {
  test::TTempDir dir;
  const std::string nested = dir.Path() + "a\\b\\c";
  ASSERT_TRUE(plat::ForceDirectories(nested));
  EXPECT_TRUE(plat::DirectoryExists(nested));
  EXPECT_TRUE(plat::ForceDirectories(nested)) << "an existing folder is fine";

  const std::string f = nested + "\\file.dat";
  ASSERT_TRUE(test::WriteFileBytes(f, "12345"));
  EXPECT_TRUE(plat::FileExists(f));
  EXPECT_EQ(plat::FileSize(f), 5);
  EXPECT_FALSE(plat::FileExists(nested)) << "a folder is not a file";
  EXPECT_EQ(plat::FileSize(dir.File("none")), -1);
}

TEST(Platform, RenameReplacesAnExistingTarget) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("new"), "new"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("old"), "old contents"));
  EXPECT_TRUE(plat::RenameFile(dir.File("new"), dir.File("old")));
  EXPECT_EQ(test::ReadFileBytes(dir.File("old")), "new");
  EXPECT_FALSE(plat::FileExists(dir.File("new")));
  EXPECT_FALSE(plat::RenameFile(dir.File("gone"), dir.File("old")));
}

TEST(Platform, ReadOnlyFileCanBeReplacedAfterClearingAttributes) {
  test::TTempDir dir;
  const std::string f = dir.File("ro.txt");
  ASSERT_TRUE(test::WriteFileBytes(f, "data"));
  ASSERT_TRUE(plat::MakeReadOnly(f));
  // (Root ignores the read-only bit on Linux and under Wine, so the refusal
  // itself cannot be observed here.)
  plat::TFileStream stream;
  EXPECT_TRUE(plat::ClearAttributes(f));
  EXPECT_TRUE(stream.Open(f, plat::TFileStream::Mode::ReadWrite));
  stream.Close();
  EXPECT_TRUE(plat::DeleteFile(f));
  EXPECT_FALSE(plat::FileExists(f));
}

TEST(Platform, QueryPathTellsWhatIsThereInOneLook) {
  test::TTempDir dir;
  const std::string f = dir.File("f.txt"), ro = dir.File("ro.txt");
  ASSERT_TRUE(test::WriteFileBytes(f, "x"));
  ASSERT_TRUE(test::WriteFileBytes(ro, "x"));
  ASSERT_TRUE(plat::MakeReadOnly(ro));
  const plat::TPathState missing = plat::QueryPath(dir.File("none")), folder = plat::QueryPath(dir.Path()),
                         file = plat::QueryPath(f), readOnly = plat::QueryPath(ro);
  EXPECT_FALSE(missing.Exists);
  EXPECT_TRUE(folder.Exists && folder.IsDirectory && !folder.ReadOnly);
  EXPECT_TRUE(file.Exists && !file.IsDirectory && !file.ReadOnly);
  EXPECT_TRUE(readOnly.Exists && !readOnly.IsDirectory && readOnly.ReadOnly);
  EXPECT_EQ(readOnly.ReadOnly, plat::IsReadOnlyFile(ro));
  EXPECT_TRUE(plat::ClearAttributes(ro));
  EXPECT_FALSE(plat::QueryPath(ro).ReadOnly);
  EXPECT_TRUE(plat::ClearAttributes(ro)) << "already writable";
}

TEST(Platform, CreateNewNeverOpensWhatExists) {
  test::TTempDir dir;
  const std::string f = dir.File("new.txt");
  plat::TFileStream stream;
  ASSERT_TRUE(stream.Open(f, plat::TFileStream::Mode::CreateNew));
  ASSERT_TRUE(stream.Write("abc", 3));
  stream.Close();
  EXPECT_FALSE(stream.Open(f, plat::TFileStream::Mode::CreateNew));
  EXPECT_FALSE(stream.Open(dir.Path(), plat::TFileStream::Mode::CreateNew));
  EXPECT_FALSE(stream.Open(dir.Path(), plat::TFileStream::Mode::Create)) << "a folder is not a file";
  EXPECT_EQ(test::ReadFileBytes(f), "abc");
}

TEST(Platform, OneConvertedStampServesManyFiles) {
  test::TTempDir dir;
  const uint32_t date = ((2021 - 1980) << 9) | (7 << 5) | 15, time = (13 << 11) | (45 << 5) | 11;
  plat::TStampTime stamp;
  ASSERT_TRUE(plat::StampTimeFromDos((date << 16) | time, stamp));
  for (const char* name : {"a", "b"}) {
    ASSERT_TRUE(test::WriteFileBytes(dir.File(name), "x"));
    ASSERT_TRUE(plat::SetFileStamp(dir.File(name), stamp));
    EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(dir.File(name))), (date << 16) | time) << name;
  }
  EXPECT_FALSE(plat::StampTimeFromDos((((2021 - 1980) << 9) | (13 << 5) | 15) << 16, stamp)) << "month 13";
}

TEST(Platform, GbkNamesKeepTrailBytesThatEqualBackslash) {
  test::TTempDir dir;
  // "\xB5\x5C" is a GBK character whose trail byte is 0x5C.
  const std::string name = dir.Path() + "sub\\\xB5\x5C.txt";
  ASSERT_TRUE(plat::ForceDirectories(dir.Path() + "sub"));
  ASSERT_TRUE(test::WriteFileBytes(name, "gbk"));
  EXPECT_TRUE(plat::FileExists(name));
  EXPECT_EQ(test::ReadFileBytes(name), "gbk");
}

TEST(Platform, TickCountFollowsRealTime) {
  const auto wallStart = std::chrono::steady_clock::now();
  const uint32_t start = plat::TickCount();
  plat::SleepMs(200);
  const uint32_t ticks = plat::TickCount() - start;
  const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wallStart);
  // The system counter may be coarse (about 16 ms steps on Windows).
  EXPECT_NEAR(static_cast<double>(ticks), static_cast<double>(wall.count()), 40.0);
  EXPECT_GE(ticks, 150u);
}

TEST(Platform, FileStreamPositionsBeyondFourGiBWithoutWritingThem) {
  test::TTempDir dir;
  plat::TFileStream f;
  ASSERT_TRUE(f.Open(dir.File("sparse"), plat::TFileStream::Mode::Create));
  const int64_t far = (int64_t{5} << 30) + 3;
  ASSERT_TRUE(f.Truncate(far + 1));
  EXPECT_EQ(f.Size(), far + 1);
  ASSERT_TRUE(f.WriteAt(far, "z", 1));
  char c = 0;
  EXPECT_EQ(f.ReadAt(far, &c, 1), 1);
  EXPECT_EQ(c, 'z');
  EXPECT_TRUE(f.Truncate(0));
}

TEST(Platform, WholeFileWriteReplacesAtomically) {
  test::TTempDir dir;
  const std::string f = dir.File("whole.txt");
  ASSERT_TRUE(plat::WriteWholeFile(f, "first"));
  ASSERT_TRUE(plat::WriteWholeFile(f, "second"));
  std::string text;
  ASSERT_TRUE(plat::ReadWholeFile(f, text));
  EXPECT_EQ(text, "second");
  EXPECT_FALSE(plat::FileExists(f + ".~tmp"));
  EXPECT_FALSE(plat::WriteWholeFile(dir.Path() + "no\\such\\folder\\x", "y"));
}

TEST(Deployment, ExeNameFolderAndStem) {
  const std::string saved = LauncherPath();
  SetLauncherPath("C:\\Games\\Demo\\launcher_abc.exe");
  EXPECT_EQ(ExeName(), "launcher_abc.exe");
  EXPECT_EQ(LauncherFolder(), "C:\\Games\\Demo\\");
  EXPECT_EQ(ExeStem(), "launcher_abc");
  SetLauncherPath("/opt/game/launcher.update");
  EXPECT_EQ(ExeName(), "launcher.update");
  EXPECT_EQ(LauncherFolder(), "/opt/game/");
  SetLauncherPath(saved);
  EXPECT_FALSE(ExeName().empty()) << "the running test program has a name";
}

}  // namespace
}  // namespace lg

// Both are hints: whatever the buffer or range, memory and file keep exactly
// what was written, and odd arguments (null, tiny, unaligned, past the end,
// a closed stream) are taken without harm.
TEST(Platform, MemoryAndWriteBackHintsNeverChangeData) {
  lg::plat::PreferLargePages(nullptr, 0);
  lg::plat::PreferLargePages(nullptr, size_t{8} << 20);
  std::vector<char> big((size_t{6} << 20) + 123);
  for (size_t offset : {size_t{0}, size_t{1}, size_t{4095}}) {
    lg::plat::PreferLargePages(big.data() + offset, big.size() - offset);
    for (size_t i = offset; i < big.size(); i += 511) big[i] = static_cast<char>(i * 7);
    for (size_t i = offset; i < big.size(); i += 511) ASSERT_EQ(big[i], static_cast<char>(i * 7)) << i;
  }
  char small[16] = "small";
  lg::plat::PreferLargePages(small, sizeof small);
  EXPECT_STREQ(small, "small");

  lg::test::TTempDir dir;
  lg::plat::TFileStream file;
  file.StartWriteBack(0, 10);  // not open
  ASSERT_TRUE(file.Open(dir.File("hint.bin"), lg::plat::TFileStream::Mode::Create));
  ASSERT_TRUE(file.WriteAt(0, "0123456789", 10));
  file.StartWriteBack(0, 10);
  file.StartWriteBack(5, 1 << 20);  // beyond the end
  file.StartWriteBack(-1, 10);
  ASSERT_TRUE(file.Flush());
  file.Close();
  EXPECT_EQ(lg::test::ReadFileBytes(dir.File("hint.bin")), "0123456789");
}
