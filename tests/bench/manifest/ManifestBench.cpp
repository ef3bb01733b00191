// Manifest benchmarks: parsing a 50,000-entry manifest with our model
// against the reference library in the same run, and CompareManifest over
// 20,000 present files on a first run (every file hashed) and a second run
// (stamps unchanged: no file may be read).
//
//   bench_manifest [entries=50000] [files=20000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Md5.h"
#include "common/Platform.h"
#include "launcher/Diagnostics.h"
#include "tests/support/TestSupport.h"
#include "update/TUpdateState.h"
#include "update/TzqJSONstreamed.h"
#include "update/UpdateMessages.h"

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
  double oursMs = BestOf(5, [&] { ours = ReadOurs(text); });
  std::printf("  ours      parse+read: %8.1f ms\n", oursMs);
#ifdef LG_BENCH_REFERENCE_JSON
  int64_t reference = 0;
  double refMs = BestOf(5, [&] { reference = ReadReference(text); });
  std::printf("  reference parse+read: %8.1f ms   ratio ours/reference %.2f\n", refMs, oursMs / refMs);
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
  for (int run = 1; run <= 2; ++run) {
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
    std::printf("  run %d: %8.1f ms, files read %d, result %d, to download %zu\n", run, ms, state.FilesHashed(), result,
                downloads.size());
    std::printf("         manifest %.1f ms, state file %.1f ms, compare %.1f ms, save %.1f ms\n", loadJsonMs,
                loadStateMs, compareMs, saveMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int entries = argc > 1 ? std::atoi(argv[1]) : 50000;
  int files = argc > 2 ? std::atoi(argv[2]) : 20000;
  BenchParse(entries);
  BenchCompare(files);
  return 0;
}
