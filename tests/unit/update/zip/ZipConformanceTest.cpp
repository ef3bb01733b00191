// Public zip test archives (tests/data/zip/conformance, see PROVENANCE.txt
// there) extracted by the launcher's extractor: the results another reader's
// suite expects, hostile archives that must never write outside the target,
// and bombs that must stop at the extractor's limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"
#include "update/zip/TZipExtractor.h"
#include "update/zip/TZipWriter.h"

namespace lg {
namespace {

const std::string kDir = std::string(LG_TEST_DATA_DIR) + "zip/conformance/";
const uint32_t kTime = TZipWriter::DosDateTime(2021, 1, 2, 3, 4, 6);

struct TResult {
  int count = 0;
  std::vector<std::string> logs;
  uint64_t ms = 0;
};

TResult Extract(const std::string& zip, const std::string& dest, TZipExtractor* settings = nullptr) {
  TZipExtractor local;
  TZipExtractor& x = settings ? *settings : local;
  TResult r;
  x.ZipName = zip;
  x.DestDir = dest;
  x.RecreateDirs = true;
  x.OnLog = [&](const std::string& line) { r.logs.push_back(line); };
  auto start = std::chrono::steady_clock::now();
  r.count = x.UnZip();
  r.ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  return r;
}

// Everything below root, relative with '/' separators, sorted.
std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    out.push_back(std::filesystem::relative(e.path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

// Files left below the sandbox that are not inside its "out" folder.
std::vector<std::string> Outside(const std::string& sandbox) {
  std::vector<std::string> out;
  for (const auto& p : Tree(sandbox))
    if (p != "in.zip" && p != "a" && p != "a/b" && p.rfind("a/b/out", 0) != 0) out.push_back(p);
  return out;
}

std::string Backslashes(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

struct TExpectedFile {
  std::string name;     // GBK, as the extractor names the file
  std::string content;  // when known
  bool known = false;
  bool checksumError = false;
};

struct TExpected {
  std::string archive;
  bool formatError = false;
  std::vector<TExpectedFile> files;
};

std::vector<TExpected> LoadExpected() {
  std::vector<TExpected> out;
  auto doc = TzqJSONstreamed::ParseText(test::ReadFileBytes(kDir + "go-expected.json"));
  EXPECT_TRUE(doc && doc->Kind() == jsObject);
  if (!doc || doc->Kind() != jsObject) return out;
  auto* archives = static_cast<TzqJSONobject*>(doc.get())->Field("archives");
  EXPECT_TRUE(archives && archives->Kind() == jsObject);
  if (!archives || archives->Kind() != jsObject) return out;
  auto* list = static_cast<TzqJSONobject*>(archives);
  for (int i = 0; i < list->Count(); ++i) {
    auto [path, node] = list->NameOf(i);
    auto* a = static_cast<TzqJSONobject*>(node);
    TExpected e;
    e.archive = path;
    e.formatError = a->IndexOfName("error") >= 0;
    const int filesAt = a->IndexOfName("files");
    if (filesAt >= 0) {
      auto* files = static_cast<TzqJSONlist*>(a->Field("files"));
      for (int k = 0; k < files->Count(); ++k) {
        auto* f = static_cast<TzqJSONobject*>(files->Child(k));
        TExpectedFile ef;
        ef.name = f->FieldText("name");
        ef.checksumError = f->FieldText("content_error") == "checksum";
        if (f->IndexOfName("content") >= 0) {
          ef.content = f->FieldText("content");
          ef.known = true;
        } else if (f->IndexOfName("content_file") >= 0) {
          ef.content = test::ReadFileBytes(kDir + "go-archive-zip/" + f->FieldText("content_file"));
          ef.known = true;
        } else if (f->IndexOfName("content_is_self") >= 0) {
          ef.content = test::ReadFileBytes(kDir + path);
          ef.known = true;
        }
        e.files.push_back(ef);
      }
    }
    out.push_back(e);
  }
  return out;
}

// Where we decide otherwise than the lenient reader, and why.
const std::map<std::string, const char*> kOurDecisions = {
    {"go-archive-zip/symlink.zip", "symbolic-link entries are never created"},
    {"go-archive-zip/test-prefix.zip", "offsets that do not point at their headers are refused"},
    {"go-archive-zip/test-badbase.zip", "offsets that do not point at their headers are refused"},
    {"go-archive-zip/test-baddirsz.zip", "a directory size that disagrees with the records is refused"},
    {"go-archive-zip/utf8-osx.zip", "names without the UTF-8 flag are read in the system code page"},
    {"go-archive-zip/dupdir.zip", "a name that is a file and a folder keeps the first of the two"},
    // Still refused by the directory reader; the packages we publish never
    // carry either.
    {"go-archive-zip/test-trailing-junk.zip", "bytes after the end record are not skipped"},
    {"go-archive-zip/zip64.zip", "Zip64 records are not read"},
    {"go-archive-zip/zip64-2.zip", "Zip64 records are not read"},
};

TEST(ZipConformance, ExpectedResultsOfTheArchiveSuiteHold) {
  const auto expected = LoadExpected();
  ASSERT_EQ(expected.size(), 49u);
  for (const TExpected& e : expected) {
    SCOPED_TRACE(e.archive);
    test::TTempDir sandbox;
    ASSERT_TRUE(test::WriteFileBytes(sandbox.File("in.zip"), test::ReadFileBytes(kDir + e.archive)));
    const std::string out = sandbox.Path() + "a/b/out/";
    TResult r = Extract(sandbox.File("in.zip"), out);
    EXPECT_LT(r.ms, static_cast<uint64_t>(test::ScaledMs(5000)));
    EXPECT_EQ(Outside(sandbox.Path()), std::vector<std::string>{});
    if (e.formatError) {
      EXPECT_EQ(r.count, 0);
      EXPECT_FALSE(plat::DirectoryExists(out) && !Tree(out).empty());
      continue;
    }
    if (kOurDecisions.count(e.archive)) continue;
    for (const TExpectedFile& f : e.files) {
      if (!f.name.empty() && f.name.back() == '/') continue;
      const std::string path = out + Backslashes(f.name);
      if (f.checksumError) {
        EXPECT_FALSE(plat::FileExists(path)) << f.name;
      } else if (f.known) {
        EXPECT_TRUE(plat::FileExists(path) && test::ReadFileBytes(path) == f.content) << f.name;
      }
    }
  }
}

TEST(ZipConformance, HostileArchivesReturnPromptlyAndWriteNothingOutside) {
  const char* archives[] = {
      "zip-slip/zip-slip.zip",
      "zip-slip/zip-slip-win.zip",
      "go-inline/CVE202127919.zip",
      "go-inline/CVE202141772.zip",
      "go-inline/biggest.zip",
      "go-inline/r-recursive-quine.zip",
      "go-inline/repeated-eocd-sigs-70k.zip",
      "go-inline/CVE202133196.zip",
      "bombs/zbsm.zip",
  };
  for (const char* name : archives) {
    SCOPED_TRACE(name);
    test::TTempDir sandbox;
    ASSERT_TRUE(test::WriteFileBytes(sandbox.File("in.zip"), test::ReadFileBytes(kDir + name)));
    TResult r = Extract(sandbox.File("in.zip"), sandbox.Path() + "a/b/out/");
    EXPECT_LT(r.ms, static_cast<uint64_t>(test::ScaledMs(5000)));
    EXPECT_EQ(Outside(sandbox.Path()), std::vector<std::string>{});
    uint64_t written = 0;
    for (auto& f : std::filesystem::recursive_directory_iterator(sandbox.Path()))
      if (f.is_regular_file()) written += f.file_size();
    EXPECT_LT(written, uint64_t{8} << 20);
  }
  // The overlapping entries of the bomb are found: not one is extracted.
  test::TTempDir sandbox;
  TResult r = Extract(kDir + "bombs/zbsm.zip", sandbox.Path());
  EXPECT_EQ(r.count, 0);
  ASSERT_FALSE(r.logs.empty());
  EXPECT_NE(r.logs[0].find("overlaps"), std::string::npos) << r.logs[0];
}

TEST(ZipConformance, BombsStopAtTheRatioAndWrittenBytesLimits) {
  test::TTempDir dir;
  const std::string zeros(8u << 20, '\0');
  const std::string noise = [] {
    std::string s(700u << 10, '\0');
    uint32_t x = 1;
    for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    return s;
  }();
  TZipWriter w;
  ASSERT_TRUE(w.Open(dir.File("bomb.zip")));
  ASSERT_TRUE(w.AddFile("zeros.bin", zeros, TZipWriter::TMethod::Deflated, kTime));
  ASSERT_TRUE(w.AddFile("one.bin", noise, TZipWriter::TMethod::Stored, kTime));
  ASSERT_TRUE(w.AddFile("two.bin", noise, TZipWriter::TMethod::Stored, kTime));
  ASSERT_TRUE(w.Close());

  struct TRow {
    uint64_t maxWritten;
    uint64_t ratioFloor;
    std::vector<std::string> files;
    const char* logPart;  // nullptr: no log line
  };
  const TRow rows[] = {
      {TZipExtractor::kMaxWrittenBytes, TZipExtractor::kRatioFloorBytes, {"one.bin", "two.bin", "zeros.bin"}, nullptr},
      {TZipExtractor::kMaxWrittenBytes, 1u << 20, {"one.bin", "two.bin"}, "times its compressed size"},
      {(8u << 20) + (1u << 20), TZipExtractor::kRatioFloorBytes, {"one.bin", "zeros.bin"}, "written bytes"},
  };
  for (const TRow& row : rows) {
    test::TTempDir out;
    TZipExtractor x;
    x.MaxWrittenBytes = row.maxWritten;
    x.RatioFloorBytes = row.ratioFloor;
    TResult r = Extract(dir.File("bomb.zip"), out.Path(), &x);
    EXPECT_EQ(Tree(out.Path()), row.files);
    EXPECT_EQ(r.count, static_cast<int>(row.files.size()));
    if (row.logPart) {
      ASSERT_EQ(r.logs.size(), 1u);
      EXPECT_NE(r.logs[0].find(row.logPart), std::string::npos) << r.logs[0];
    } else {
      EXPECT_EQ(r.logs, std::vector<std::string>{});
    }
  }
}

}  // namespace
}  // namespace lg
