// Manifest benchmarks: parsing a 50,000-entry manifest with our model
// against the reference library in the same run, and CompareManifest over
// 20,000 present files on a first run (every file hashed) and a second run
// (stamps unchanged: no file may be read), the second against a `find
// -printf` walk (one stat per file) of the same folder. Also prints the heap
// a parsed document holds, as a multiple of its text size.
//
//   bench_manifest [entries=50000] [files=20000]
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "update/TUpdateLog.h"
#include "update/TUpdateState.h"
#include "update/UpdateMessages.h"
#include "update/json/TzqJSONarena.h"
#include "update/json/TzqJSONstreamed.h"

#ifdef LG_BENCH_REFERENCE_JSON
#include <nlohmann/json.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct TNullSink : lg::IMessageSink {
  void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == lg::WM_UPDATE_STATUS) lg::TakeStatusText(wParam, lParam);
  }
};

std::string EntryText(const std::string& file, const std::string& hash, int size) {
  // Backslashes doubled as JSON wants them.
  std::string escaped;
  for (char c : file) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return "{\"File\":\"" + escaped + "\",\"Hash\":\"" + hash + "\",\"Size\":" + std::to_string(size) +
         ",\"Need\":true,\"isLauncher\":0,\"IsZip\":false}";
}

std::string BigManifest(int entries) {
  std::string text = "[\n";
  for (int i = 0; i < entries; ++i) {
    std::string file = "data\\models\\m" + std::to_string(i / 100) + "\\texture_" + std::to_string(i) + ".dds";
    text += EntryText(file, lg::Md5OfText(file), 1000 + i * 37);
    text += i + 1 < entries ? ",\n" : "\n";
  }
  return text + "]";
}

// Reads every key the comparison reads; returns a checksum so that nothing
// is optimised away.
int64_t ReadOurs(const std::string& text) {
  auto doc = lg::TzqJSONstreamed::ParseText(text);
  if (!doc || doc->Kind() != lg::jsList) std::abort();
  auto* list = static_cast<lg::TzqJSONlist*>(doc.get());
  int64_t sum = 0;
  for (int i = 0; i < list->Count(); ++i) {
    auto* e = static_cast<lg::TzqJSONobject*>(list->Child(i));
    sum += static_cast<int64_t>(e->FieldText("File").size() + e->FieldText("Hash").size()) + e->FieldInt("Size") +
           e->FieldInt("isLauncher") + e->FieldBool("Need") + e->FieldBool("IsZip");
  }
  return sum;
}

#ifdef LG_BENCH_REFERENCE_JSON
int64_t ReadReference(const std::string& text) {
  nlohmann::json doc = nlohmann::json::parse(text);
  int64_t sum = 0;
  for (const auto& e : doc) {
    sum += static_cast<int64_t>(e["File"].get_ref<const std::string&>().size() +
                                e["Hash"].get_ref<const std::string&>().size()) +
           e["Size"].get<int32_t>() + e["isLauncher"].get<int32_t>() + e["Need"].get<bool>() + e["IsZip"].get<bool>();
  }
  return sum;
}
#endif

// Heap bytes in use (glibc), to see what a parsed document keeps.
size_t HeapInUse() {
  return mallinfo2().uordblks;
}

template <typename F>
double BestOf(int runs, F f) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    auto start = Clock::now();
    f();
    best = std::min(best, Ms(start));
  }
  return best;
}

void BenchParse(int entries) {
  std::string text = BigManifest(entries);
  std::printf("manifest: %d entries, %.1f MB\n", entries, text.size() / 1e6);
  int64_t ours = 0;
  // The first parse of each touches fresh memory; later ones reuse what
  // the previous document gave back (our arena's pool, the C library's
  // free lists).
  double oursFirstMs = BestOf(1, [&] { ours = ReadOurs(text); });
#ifdef LG_BENCH_REFERENCE_JSON
  double refFirstMs = BestOf(1, [&] { ReadReference(text); });
  std::printf("  first parse+read: ours %.1f ms, reference %.1f ms, ratio %.2f\n", oursFirstMs, refFirstMs,
              oursFirstMs / refFirstMs);
#else
  std::printf("  first parse+read: ours %.1f ms\n", oursFirstMs);
#endif
  double oursMs = BestOf(5, [&] { ours = ReadOurs(text); });
  std::printf("  ours      parse+read: %8.1f ms\n", oursMs);
  {
    // Heap taken plus arena blocks taken from the pool.
    size_t before = HeapInUse() - lg::TzqJSONarena::PooledBytes();
    auto doc = lg::TzqJSONstreamed::ParseText(text);
    size_t bytes = HeapInUse() - lg::TzqJSONarena::PooledBytes() - before;
    std::printf("  ours      document: %.1f MB, %.2f times the text\n", bytes / 1e6,
                static_cast<double>(bytes) / static_cast<double>(text.size()));
  }
#ifdef LG_BENCH_REFERENCE_JSON
  int64_t reference = 0;
  double refMs = BestOf(5, [&] { reference = ReadReference(text); });
  std::printf("  reference parse+read: %8.1f ms   ratio ours/reference %.2f\n", refMs, oursMs / refMs);
  {
    size_t before = HeapInUse();
    nlohmann::json doc = nlohmann::json::parse(text);
    std::printf("  reference document: %.1f MB, %.2f times the text\n", (HeapInUse() - before) / 1e6,
                static_cast<double>(HeapInUse() - before) / static_cast<double>(text.size()));
  }
  if (ours != reference) std::printf("  checksums differ: %lld vs %lld\n", (long long)ours, (long long)reference);
#else
  std::printf("  reference library not found at configure time\n");
#endif
}

void BenchCompare(int files) {
  lg::test::TTempDir dir;
  lg::plat::ForceDirectories(dir.File("data"));
  std::string manifest = "[";
  for (int i = 0; i < files; ++i) {
    std::string folder = "pack" + std::to_string(i / 200);
    if (i % 200 == 0) lg::plat::ForceDirectories(dir.File(folder));
    std::string name = folder + "\\f" + std::to_string(i) + ".bin";
    std::string content(1024, static_cast<char>('a' + i % 26));
    content += std::to_string(i);
    lg::test::WriteFileBytes(dir.File(folder + "/f" + std::to_string(i) + ".bin"), content);
    manifest += EntryText(name, lg::Md5OfText(content), static_cast<int>(content.size()));
    manifest += i + 1 < files ? "," : "]";
  }
  lg::test::WriteFileBytes(dir.File("data/update.json"), manifest);
  std::printf("compare: %d present files of about 1 KiB\n", files);
  // Later runs repeat the second one; the best of them is compared.
  double secondMs = 1e300;
  for (int run = 1; run <= 4; ++run) {
    lg::TUpdateLog log;
    TNullSink sink;
    lg::TUpdateState state(dir.Path(), "launcher.exe", 0, log, sink);
    lg::TDownloadList downloads;
    auto start = Clock::now();
    if (!state.LoadUpdateJson()) std::abort();
    double loadJsonMs = Ms(start);
    auto t = Clock::now();
    state.LoadLocalState();
    double loadStateMs = Ms(t);
    t = Clock::now();
    int result = state.CompareManifest(downloads);
    double compareMs = Ms(t);
    t = Clock::now();
    if (state.Changed()) state.SaveLocalState();
    double saveMs = Ms(t);
    double ms = Ms(start);
    if (run >= 2) secondMs = std::min(secondMs, ms);
    std::printf("  run %d: %8.1f ms, files read %d, result %d, to download %zu\n", run, ms, state.FilesHashed(), result,
                downloads.size());
    std::printf("         manifest %.1f ms, state file %.1f ms, compare %.1f ms, save %.1f ms\n", loadJsonMs,
                loadStateMs, compareMs, saveMs);
  }
  // The reference: one stat per file and a line out for each, as a plain
  // walk of the folder does.
  const std::string find = "find '" + dir.Path() + "' -type f -printf '%p %s %T@\\n' > /dev/null";
  double findMs = BestOf(3, [&] {
    if (std::system(find.c_str()) != 0) std::abort();
  });
  std::printf("  find -printf walk: %8.1f ms   ratio second run/find %.2f\n", findMs, secondMs / findMs);
  // What a Chinese file name would add on Linux alone: each system call
  // converts the GBK path to UTF-8 (the names above are ASCII and skip it).
  const std::string gbkName = dir.Path() + "pack1\\" + "\xCE\xC4\xBC\xFE" + "12345.bin";  // "文件"
  size_t converted = 0;
  double convertMs = BestOf(3, [&] {
    for (int i = 0; i < files; ++i) converted += lg::plat::NativePath(gbkName).size();
  });
  std::printf("  GBK to UTF-8 path conversion, %d names: %.1f ms (%zu bytes)\n", files, convertMs, converted / 3);
}

}  // namespace

int main(int argc, char** argv) {
  int entries = argc > 1 ? std::atoi(argv[1]) : 50000;
  int files = argc > 2 ? std::atoi(argv[2]) : 20000;
  BenchParse(entries);
  BenchCompare(files);
  return 0;
}
