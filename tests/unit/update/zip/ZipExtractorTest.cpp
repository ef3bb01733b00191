#include "update/zip/TZipExtractor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "common/FileAttributes.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ZipLegacyEncoders.h"
#include "update/zip/TZipWriter.h"

namespace lg {
namespace {

const uint32_t kTime = TZipWriter::DosDateTime(2020, 5, 6, 7, 8, 10);

using TFill = std::function<void(TZipWriter&)>;

std::string Build(const std::string& path, const TFill& fill, std::string_view comment = {}) {
  TZipWriter w;
  EXPECT_TRUE(w.Open(path));
  fill(w);
  EXPECT_TRUE(w.Close(comment)) << w.ErrorText();
  return path;
}

TZipWriter::TRawEntry Raw(const std::string& name, uint16_t method, const std::string& data, const std::string& packed,
                          uint16_t flags = 0) {
  TZipWriter::TRawEntry e;
  e.Name = name;
  e.Method = method;
  e.Flags = flags;
  e.Crc32 = TZipWriter::Crc32(data);
  e.UncompressedSize = static_cast<uint32_t>(data.size());
  e.Data = packed;
  e.DosDateTime = kTime;
  return e;
}

struct TRecorder : IZipErrorReporter {
  std::vector<std::string> errors;
  void ShowZipError(const std::string& title, const std::string& text) override {
    errors.push_back(title + "|" + text);
  }
};

struct TRun {
  int count = 0;
  std::vector<std::string> logs;
  std::vector<std::string> started;
  TRecorder reporter;
};

TRun Extract(const std::string& zip, const std::string& dest, bool recreateDirs) {
  TRun run;
  TZipExtractor x;
  x.ZipName = zip;
  x.DestDir = dest;
  x.RecreateDirs = recreateDirs;
  x.ErrorReporter = &run.reporter;
  x.OnLog = [&](const std::string& line) { run.logs.push_back(line); };
  x.OnStartUnZip = [&](int, const std::string& name, bool&) { run.started.push_back(name); };
  run.count = x.UnZip();
  return run;
}

// Leaves of a folder tree, relative, sorted.
std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    out.push_back(std::filesystem::relative(e.path(), root).generic_string() + (e.is_directory() ? "/" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

void Patch(const std::string& path, size_t at, const std::string& bytes) {
  std::string data = test::ReadFileBytes(path);
  ASSERT_LE(at + bytes.size(), data.size());
  data.replace(at, bytes.size(), bytes);
  ASSERT_TRUE(test::WriteFileBytes(path, data));
}

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

TEST(ZipExtractor, StoredAndDeflatedEntriesBothCountWithTimeAndAttributes) {
  test::TTempDir dir;
  const std::string text = test::SampleText(20000, 1);
  const std::string zip = Build(dir.File("a.zip"), [&](TZipWriter& w) {
    w.AddFile("plain.txt", "stored bytes", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("packed.txt", text, TZipWriter::TMethod::Deflated, kTime, 0x21);  // read-only, archive
  });
  const std::string out = dir.Path() + "out";
  TRun run = Extract(zip, out, false);
  EXPECT_EQ(run.count, 2);
  EXPECT_EQ(test::ReadFileBytes(out + "/plain.txt"), "stored bytes");
  EXPECT_TRUE(test::ReadFileBytes(out + "/packed.txt") == text);
  EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(out + "/plain.txt")), kTime);
  EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(out + "/packed.txt")), kTime);
  EXPECT_FALSE(plat::IsReadOnlyFile(out + "/plain.txt"));
  EXPECT_TRUE(plat::IsReadOnlyFile(out + "/packed.txt"));
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"packed.txt", "plain.txt"})) << "no temporary file left";
}

TEST(ZipExtractor, EveryLegacyMethodExtracts) {
  test::TTempDir dir;
  const std::string text = test::SampleText(30000, 2);
  const std::string zip = Build(dir.File("legacy.zip"), [&](TZipWriter& w) {
    w.AddRaw(Raw("shrunk.txt", 1, text, test::ShrinkBytes(text)));
    for (int f = 1; f <= 4; ++f)
      w.AddRaw(
          Raw("reduced" + std::to_string(f) + ".txt", static_cast<uint16_t>(1 + f), text, test::ReduceBytes(text, f)));
    for (int flags : {0, 2, 4, 6})
      w.AddRaw(Raw("imploded" + std::to_string(flags) + ".txt", 6, text, test::ImplodeBytes(text, flags & 2, flags & 4),
                   static_cast<uint16_t>(flags)));
  });
  TRun run = Extract(zip, dir.Path() + "out", false);
  EXPECT_EQ(run.count, 9);
  for (const std::string& name : Tree(dir.Path() + "out"))
    EXPECT_TRUE(test::ReadFileBytes(dir.Path() + "out/" + name) == text) << name;
  EXPECT_EQ(Tree(dir.Path() + "out").size(), 9u);
}

TEST(ZipExtractor, InfoZipAcceptsOurArchives) {
  if (test::IsWindowsBuild() || !plat::FileExists("/usr/bin/unzip")) GTEST_SKIP() << "no Info-ZIP unzip";
  test::TTempDir dir;
  const std::string text = test::SampleText(150000, 3) + std::string(5000, 'a');
  const std::string zip = Build(
      dir.File("legacy.zip"),
      [&](TZipWriter& w) {
        w.AddRaw(Raw("shrunk.txt", 1, text, test::ShrinkBytes(text)));
        for (int flags : {0, 2, 4, 6})
          w.AddRaw(Raw("imploded" + std::to_string(flags) + ".txt", 6, text,
                       test::ImplodeBytes(text, flags & 2, flags & 4), static_cast<uint16_t>(flags)));
        // And what the writer makes itself.
        EXPECT_TRUE(w.AddFolder("data\\ui", kTime));
        EXPECT_TRUE(w.AddFile("data\\ui\\stored.txt", text, TZipWriter::TMethod::Stored, kTime));
        EXPECT_TRUE(w.AddFile("data\\deflated.txt", text, TZipWriter::TMethod::Deflated, kTime, 0x21));
        EXPECT_TRUE(w.AddFile("empty.txt", "", TZipWriter::TMethod::Deflated, kTime));
        EXPECT_TRUE(test::WriteFileBytes(dir.File("source.bin"), text));
        EXPECT_TRUE(w.AddFileFrom("streamed.bin", dir.File("source.bin"), TZipWriter::TMethod::Deflated, kTime));
      },
      "written by the tests");
  // This unzip build decodes shrink and implode (not reduce): -t checks
  // every entry's CRC, so our encoders and decoders agree with it.
  EXPECT_EQ(std::system(("/usr/bin/unzip -tqq " + zip).c_str()), 0);
  ASSERT_EQ(std::system(("/usr/bin/unzip -qq " + zip + " -d " + dir.Path() + "theirs").c_str()), 0);
  EXPECT_TRUE(test::ReadFileBytes(dir.Path() + "theirs/streamed.bin") == text);
  EXPECT_TRUE(test::ReadFileBytes(dir.Path() + "theirs/data/ui/stored.txt") == text);
  EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(dir.Path() + "theirs/data/deflated.txt")), kTime);
}

TEST(ZipExtractor, CorruptEntryLeavesNoFileAndOthersStillExtract) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("bad.zip"), [&](TZipWriter& w) {
    auto bad = Raw("bad.txt", 0, "good data", "evil data");  // CRC of other bytes
    w.AddRaw(bad);
    w.AddFile("good.txt", "fine", TZipWriter::TMethod::Deflated, kTime);
  });
  const std::string out = dir.Path() + "out";
  ASSERT_TRUE(plat::ForceDirectories(out));
  ASSERT_TRUE(test::WriteFileBytes(out + "/bad.txt", "previous version"));
  TRun run = Extract(zip, out, false);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(test::ReadFileBytes(out + "/good.txt"), "fine");
  // The bad entry never reached its name: the previous file is untouched and
  // no partial copy remains.
  EXPECT_EQ(test::ReadFileBytes(out + "/bad.txt"), "previous version");
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"bad.txt", "good.txt"}));
  ASSERT_EQ(run.logs.size(), 1u);
  EXPECT_NE(run.logs[0].find("bad.txt"), std::string::npos);
}

TEST(ZipExtractor, EntriesOfMixedMethodsStampsAndFoldersEachGetTheirOwn) {
  // Buffers, the zlib stream, the folders made and the converted stamp
  // carry over from entry to entry; nothing of one entry may show in the
  // next.
  test::TTempDir dir;
  const uint32_t otherTime = TZipWriter::DosDateTime(2019, 12, 31, 23, 59, 58);
  const std::string a = test::SampleText(50000, 21), b = test::SampleText(900, 22), c = test::SampleText(7000, 23);
  auto withTime = [](TZipWriter::TRawEntry e, uint32_t time) {
    e.DosDateTime = time;
    return e;
  };
  const std::string zip = Build(dir.File("mixed.zip"), [&](TZipWriter& w) {
    w.AddFile("a/one.txt", a, TZipWriter::TMethod::Deflated, kTime);
    w.AddFile("b/two.txt", b, TZipWriter::TMethod::Stored, otherTime);
    w.AddRaw(withTime(Raw("a/sub/three.txt", 6, c, test::ImplodeBytes(c, true, true), 6), otherTime));
    w.AddRaw(Raw("b/bad.txt", 8, b, std::string(40, '\xFF')));
    w.AddFile("a/four.txt", c, TZipWriter::TMethod::Deflated, otherTime);
    w.AddFile("a", "a file where a folder was made", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("c/d/five.txt", b, TZipWriter::TMethod::Deflated, kTime);
    w.AddRaw(Raw("a/six.txt", 3, a, test::ReduceBytes(a, 2)));
  });
  const std::string out = dir.Path() + "out/";
  TRun run = Extract(zip, out, true);
  EXPECT_EQ(run.count, 6);
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"a/", "a/four.txt", "a/one.txt", "a/six.txt", "a/sub/",
                                                 "a/sub/three.txt", "b/", "b/two.txt", "c/", "c/d/", "c/d/five.txt"}));
  EXPECT_TRUE(test::ReadFileBytes(out + "a/one.txt") == a);
  EXPECT_EQ(test::ReadFileBytes(out + "b/two.txt"), b);
  EXPECT_EQ(test::ReadFileBytes(out + "a/sub/three.txt"), c);
  EXPECT_EQ(test::ReadFileBytes(out + "a/four.txt"), c);
  EXPECT_EQ(test::ReadFileBytes(out + "c/d/five.txt"), b);
  EXPECT_TRUE(test::ReadFileBytes(out + "a/six.txt") == a);
  const std::vector<std::pair<std::string, uint32_t>> stamps = {
      {"a/one.txt", kTime},      {"b/two.txt", otherTime}, {"a/sub/three.txt", otherTime},
      {"a/four.txt", otherTime}, {"c/d/five.txt", kTime},  {"a/six.txt", kTime}};
  for (const auto& [name, time] : stamps) EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(out + name)), time) << name;
  ASSERT_EQ(run.logs.size(), 2u);
  EXPECT_NE(run.logs[0].find("b/bad.txt"), std::string::npos);
  EXPECT_NE(run.logs[1].find("a folder has its name"), std::string::npos);
}

TEST(ZipExtractor, ExistingFilesAreReplacedUnlessReadOnly) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("r.zip"), [&](TZipWriter& w) {
    w.AddFile("rw.txt", "new rw", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("ro.txt", "new ro", TZipWriter::TMethod::Stored, kTime);
  });
  const std::string out = dir.Path() + "out\\";
  ASSERT_TRUE(plat::ForceDirectories(out));
  ASSERT_TRUE(test::WriteFileBytes(out + "rw.txt", "old rw, longer than the new one"));
  ASSERT_TRUE(test::WriteFileBytes(out + "ro.txt", "old ro"));
  ASSERT_TRUE(plat::MakeReadOnly(out + "ro.txt"));
  TRun run = Extract(zip, out, false);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(test::ReadFileBytes(out + "rw.txt"), "new rw");
  EXPECT_EQ(test::ReadFileBytes(out + "ro.txt"), "old ro");
}

TEST(ZipExtractor, TargetsThatCannotBeWrittenDoNotCount) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("t.zip"), [&](TZipWriter& w) {
    w.AddFile("taken", "file where a folder is", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("file/inside.txt", "below a file", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("fine.txt", "fine", TZipWriter::TMethod::Stored, kTime);
  });
  const std::string out = dir.Path() + "out/";
  ASSERT_TRUE(plat::ForceDirectories(out + "taken"));
  ASSERT_TRUE(test::WriteFileBytes(out + "file", "a file, not a folder"));
  TRun run = Extract(zip, out, true);
  EXPECT_EQ(run.count, 1);
  EXPECT_TRUE(plat::DirectoryExists(out + "taken"));
  EXPECT_EQ(test::ReadFileBytes(out + "file"), "a file, not a folder");
  EXPECT_EQ(run.logs.size(), 2u);
}

TEST(ZipExtractor, ExistingLinkAtTheTargetIsReplacedNotFollowed) {
  if (test::IsWindowsBuild()) GTEST_SKIP() << "symbolic links need privileges on Windows";
  test::TTempDir dir;
  const std::string zip = Build(dir.File("l.zip"), [&](TZipWriter& w) {
    w.AddFile("victim.txt", "archive data", TZipWriter::TMethod::Stored, kTime);
  });
  const std::string out = dir.Path() + "out/";
  ASSERT_TRUE(plat::ForceDirectories(out));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("outside.txt"), "must stay"));
  std::filesystem::create_symlink(dir.File("outside.txt"), out + "victim.txt");
  std::filesystem::create_symlink(dir.File("outside2.txt"), out + "victim.txt.!unzip");
  EXPECT_EQ(Extract(zip, out, false).count, 1);
  EXPECT_EQ(test::ReadFileBytes(dir.File("outside.txt")), "must stay");
  EXPECT_FALSE(plat::FileExists(dir.File("outside2.txt")));
  EXPECT_FALSE(plat::IsSymbolicLink(out + "victim.txt"));
  EXPECT_EQ(test::ReadFileBytes(out + "victim.txt"), "archive data");
}

TEST(ZipExtractor, Utf8FlaggedNamesBecomeGbk) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("u.zip"), [&](TZipWriter& w) {
    auto e = Raw("数据/说明.txt", 0, "utf8 name", "utf8 name", 0x0800);  // the source is UTF-8
    w.AddRaw(e);
    auto bad = Raw("\xF0\x9F\x98\x80.txt", 0, "emoji", "emoji", 0x0800);  // no GBK form
    w.AddRaw(bad);
  });
  TRun run = Extract(zip, dir.Path() + "out", true);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "out/" + plat::GbkFromUtf8("数据/说明.txt")), "utf8 name");
}

TEST(ZipExtractor, UnknownMethodIsReportedAndDoesNotCount) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("m.zip"), [&](TZipWriter& w) {
    w.AddRaw(Raw("bzip.txt", 12, "abc", "xyz"));
    w.AddRaw(Raw("secret.txt", 0, "abc", "abc", 0x0001));  // encrypted: no password is ever given
    w.AddFile("ok.txt", "ok", TZipWriter::TMethod::Stored, kTime);
  });
  TRun run = Extract(zip, dir.Path() + "out", false);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(run.reporter.errors, std::vector<std::string>{"Zip Error|Unknown Compression Method"});
  EXPECT_EQ(Tree(dir.Path() + "out"), std::vector<std::string>{"ok.txt"});
}

TEST(ZipExtractor, NamesLeavingTheTargetAreRefused) {
  struct TCase {
    const char* name;
    bool recreateDirs;
  };
  const TCase cases[] = {
      {"../evil.txt", true},
      {"a/../../evil.txt", true},
      {"/evil.txt", true},
      {"C:/evil.txt", true},
      {"a\\..\\..\\evil.txt", true},
      {"con.txt", true},
      {"sub/nul", false},
      {"a/b:stream", true},
      {"x/..", false},
      {"", true},
  };
  for (const TCase& c : cases) {
    test::TTempDir dir;
    const std::string zip = Build(dir.File("evil.zip"), [&](TZipWriter& w) {
      w.AddRaw(Raw(c.name, 0, "owned", "owned"));
      w.AddFile("safe.txt", "safe", TZipWriter::TMethod::Stored, kTime);
    });
    const std::string out = dir.Path() + "a/b/out/";
    TRun run = Extract(zip, out, c.recreateDirs);
    EXPECT_EQ(run.count, 1) << c.name;
    EXPECT_EQ(Tree(dir.Path()), (std::vector<std::string>{"a/", "a/b/", "a/b/out/", "a/b/out/safe.txt", "evil.zip"}))
        << c.name;
    ASSERT_EQ(run.logs.size(), 1u) << c.name;
    EXPECT_NE(run.logs[0].find(std::string("refused zip entry ") + c.name), std::string::npos) << run.logs[0];
  }
}

TEST(ZipExtractor, SymbolicLinkEntriesAreNeverCreated) {
  test::TTempDir dir;
  const std::string zip = Build(dir.File("link.zip"), [&](TZipWriter& w) {
    auto link = Raw("data/link", 0, "/etc/passwd", "/etc/passwd");
    link.VersionMadeBy = 0x0314;  // Unix
    link.ExternalAttributes = 0120777u << 16;
    w.AddRaw(link);
  });
  TRun run = Extract(zip, dir.Path() + "out", true);
  EXPECT_EQ(run.count, 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.Path() + "out/data/link")));
  EXPECT_TRUE(run.started.empty());
}

TEST(ZipExtractor, HeadersThatDisagreeDoNotCount) {
  test::TTempDir dir;
  const std::string text = test::SampleText(5000, 4);
  const auto twoFiles = [&](TZipWriter& w) {
    w.AddFile("one.txt", text, TZipWriter::TMethod::Deflated, kTime);
    w.AddFile("two.txt", "second", TZipWriter::TMethod::Stored, kTime);
  };
  // The first entry's local header starts at 0; its compressed size is at 18.
  const std::string a = Build(dir.File("size.zip"), twoFiles);
  Patch(a, 18, Le32(10));
  EXPECT_EQ(Extract(a, dir.Path() + "o1", false).count, 1) << "local size differs from the central one";

  // Two central records pointing at the same local header and data.
  const std::string b = Build(dir.File("same.zip"), [&](TZipWriter& w) {
    w.AddFile("x.txt", "first", TZipWriter::TMethod::Stored, kTime);
    w.AddFile("x.txt", "other", TZipWriter::TMethod::Stored, kTime);
  });
  std::string bytes = test::ReadFileBytes(b);
  const size_t second = bytes.rfind(std::string("PK\x01\x02", 4));
  Patch(b, second + 16, Le32(TZipWriter::Crc32("first")));
  Patch(b, second + 42, Le32(0));
  EXPECT_EQ(Extract(b, dir.Path() + "o2", false).count, 0) << "overlapping entries";

  // A size claim far beyond the data: nothing is allocated from it and the
  // entry fails when the data ends.
  const std::string c = Build(
      dir.File("claim.zip"), [&](TZipWriter& w) { w.AddFile("huge.txt", text, TZipWriter::TMethod::Deflated, kTime); });
  bytes = test::ReadFileBytes(c);
  Patch(c, 22, Le32(0xFFFFFFF0u));                                              // local
  Patch(c, bytes.rfind(std::string("PK\x01\x02", 4)) + 24, Le32(0xFFFFFFF0u));  // central
  TRun run = Extract(c, dir.Path() + "o3", false);
  EXPECT_EQ(run.count, 0);
  EXPECT_EQ(Tree(dir.Path() + "o3"), std::vector<std::string>{});
}

TEST(ZipExtractor, DataDescriptorThatDisagreesFailsItsEntry) {
  test::TTempDir dir;
  const std::string zip = dir.File("stream.zip");
  std::string bytes = test::ReadFileBytes(std::string(LG_TEST_DATA_DIR) + "zip/infozip_stream.zip");
  ASSERT_FALSE(bytes.empty());
  const size_t descriptor = bytes.find(std::string("PK\x07\x08", 4));
  ASSERT_NE(descriptor, std::string::npos);
  bytes[descriptor + 4] = static_cast<char>(bytes[descriptor + 4] ^ 0x55);  // its CRC-32
  ASSERT_TRUE(test::WriteFileBytes(zip, bytes));
  TRun run = Extract(zip, dir.Path() + "out", true);
  EXPECT_EQ(run.count, 5) << "one file of 4 files and 2 folders fails";
  ASSERT_EQ(run.logs.size(), 1u);
  EXPECT_NE(run.logs[0].find("data descriptor"), std::string::npos) << run.logs[0];
}

TEST(ZipExtractor, WhatIsNotAnArchiveExtractsNothing) {
  test::TTempDir dir;
  const std::string cases[] = {"", "PK", "not a zip archive at all, just text", std::string(100, '\0'),
                               std::string("PK\x05\x06", 4) + std::string(18, '\0') + "trailing"};
  for (const std::string& bytes : cases) {
    ASSERT_TRUE(test::WriteFileBytes(dir.File("x.zip"), bytes));
    EXPECT_EQ(Extract(dir.File("x.zip"), dir.Path() + "out", false).count, 0);
  }
  EXPECT_EQ(Extract(dir.File("missing.zip"), dir.Path() + "out", false).count, 0);
}

TEST(ZipExtractor, CommentHoldingAnEndSignatureIsRead) {
  test::TTempDir dir;
  const std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\x01');
  const std::string zip = Build(
      dir.File("c.zip"), [&](TZipWriter& w) { w.AddFile("f.txt", "f", TZipWriter::TMethod::Stored, kTime); },
      "release " + fake + " notes");
  EXPECT_EQ(Extract(zip, dir.Path() + "out", false).count, 1);
}

TEST(ZipExtractor, InfoZipArchivesMatchUnzip) {
  if (test::IsWindowsBuild() || !plat::FileExists("/usr/bin/unzip")) GTEST_SKIP() << "no Info-ZIP unzip";
  for (const char* fixture : {"infozip_stored.zip", "infozip_deflated.zip", "infozip_stream.zip"}) {
    test::TTempDir dir;
    const std::string zip = std::string(LG_TEST_DATA_DIR) + "zip/" + fixture;
    TRun run = Extract(zip, dir.Path() + "ours", true);
    EXPECT_EQ(run.count, 6) << fixture << ": 4 files and 2 folders";  // ./data/ data/ui/ data/empty/ ...
    ASSERT_EQ(std::system(("/usr/bin/unzip -qq -o " + zip + " -d " + dir.Path() + "theirs").c_str()), 0);
    const auto ours = Tree(dir.Path() + "ours"), theirs = Tree(dir.Path() + "theirs");
    EXPECT_EQ(ours, theirs) << fixture;
    for (const std::string& name : theirs) {
      if (name.back() == '/') continue;
      const std::string a = dir.Path() + "ours/" + name, b = dir.Path() + "theirs/" + name;
      EXPECT_TRUE(test::ReadFileBytes(a) == test::ReadFileBytes(b)) << fixture << " " << name;
      EXPECT_EQ(plat::FileStamp(a), plat::FileStamp(b)) << fixture << " " << name;
      EXPECT_EQ(plat::IsReadOnlyFile(a), plat::IsReadOnlyFile(b)) << fixture << " " << name;
    }
  }
}

}  // namespace
}  // namespace lg
