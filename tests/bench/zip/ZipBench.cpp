// Extraction speed against Info-ZIP unzip and bsdtar on the same archives,
// measured in the same run: 10,000 small deflated files in 100 folders,
// and one large compressible deflated file. Prints medians of the rounds
// and speed ratios (the tool's time divided by ours: above 1 means we are
// faster).
//   bench_zip [large-file-MiB=256] [rounds=7]
//   bench_zip --extract ARCHIVE FOLDER   one extraction, the timed child
//
// All three tools run as child processes started through the shell, so each
// pays the same start-up; the archive is in the page cache for all of them
// (an untimed warm-up round reads it, and checks that every tool writes the
// same number of files). Every run writes into a fresh folder of its own
// after a sync, and the output is deleted only at the end: ext4 passes over
// recently freed inodes when it allocates new ones, so deleting 10,000 files
// before each run would make every later run slower than the one before.
// The order of the tools rotates from round to round, so neither the disk's
// backlog nor a change in the machine's load favours one of them.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "update/zip/TZipExtractor.h"
#include "update/zip/TZipWriter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"zone ",     "server ", "patch\n", "data ",
                                       "launcher ", "client ", "file ",   "update "};
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) {
    seed = seed * 1103515245u + 12345u;
    out += kWords[(seed >> 16) & 7];
    if (((seed >> 8) & 31) == 0) out += std::to_string(seed);
  }
  out.resize(size);
  return out;
}

// The timed child of our side: every entry must be handled.
int ExtractOnce(const std::string& zip, const std::string& folder) {
  lg::TZipExtractor x;
  x.ZipName = zip;
  x.DestDir = folder;
  x.RecreateDirs = true;
  const int count = x.UnZip();
  return count > 0 && static_cast<size_t>(count) == x.Entries().size() ? 0 : 1;
}

struct TTool {
  const char* Name;
  std::string Command;  // "%s" stands for the output folder
  std::vector<double> Wall, Cpu;
};

double ChildrenCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

size_t CountFiles(const fs::path& folder) {
  size_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) ++n;
  return n;
}

// One run of one tool into a fresh, empty folder, with nothing of earlier
// runs in flight.
void RunOnce(TTool& tool, const fs::path& out, bool timed) {
  fs::create_directories(out);
  if (std::system("sync") != 0) std::fprintf(stderr, "sync failed\n");
  std::string command = tool.Command;
  command.replace(command.find("%s"), 2, out.string());
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "%s failed: %s\n", tool.Name, command.c_str());
    std::exit(1);
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  if (!timed) return;
  tool.Wall.push_back(wall);
  tool.Cpu.push_back(ChildrenCpuSeconds() - cpuBefore);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Compare(const char* label, const std::string& zip, const fs::path& work, int rounds, size_t expectedFiles) {
  const std::string self = lg::plat::ExecutablePath();
  std::vector<TTool> tools = {
      {"ours", "'" + self + "' --extract " + zip + " %s", {}, {}},
      {"unzip", "unzip -qo " + zip + " -d %s", {}, {}},
      {"bsdtar", "bsdtar -xf " + zip + " -C %s", {}, {}},
  };
  const fs::path outs = work / "out";
  for (TTool& t : tools) {
    const fs::path out = outs / (std::string(t.Name) + "-warm");
    RunOnce(t, out, false);
    const size_t files = CountFiles(out);
    if (files != expectedFiles) {
      std::fprintf(stderr, "%s wrote %zu files, not %zu\n", t.Name, files, expectedFiles);
      std::exit(1);
    }
  }
  for (int r = 0; r < rounds; ++r)
    for (size_t k = 0; k < tools.size(); ++k) {
      TTool& t = tools[(r + k) % tools.size()];
      RunOnce(t, outs / (std::string(t.Name) + "-" + std::to_string(r)), true);
    }
  fs::remove_all(outs);

  std::printf("%s:\n", label);
  for (const TTool& t : tools)
    std::printf("  %-6s wall %.3f s (min %.3f, max %.3f), cpu %.3f s\n", t.Name, Median(t.Wall),
                *std::min_element(t.Wall.begin(), t.Wall.end()), *std::max_element(t.Wall.begin(), t.Wall.end()),
                Median(t.Cpu));
  const double ours = Median(tools[0].Wall), oursCpu = Median(tools[0].Cpu);
  for (size_t k = 1; k < tools.size(); ++k) {
    // The rounds' own ratios too: neighbours in time share the machine's load.
    std::vector<double> paired;
    for (int r = 0; r < rounds; ++r) paired.push_back(tools[k].Wall[r] / tools[0].Wall[r]);
    std::printf("  speed ratio vs %s: %.2f wall (median of the rounds' ratios %.2f), %.2f cpu\n", tools[k].Name,
                Median(tools[k].Wall) / ours, Median(paired), Median(tools[k].Cpu) / oursCpu);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--extract") return ExtractOnce(argv[2], argv[3]);
  const long mib = argc > 1 ? std::atol(argv[1]) : 256;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 7);
  const fs::path work = fs::temp_directory_path() / "lg-bench-zip";
  fs::remove_all(work);
  fs::create_directories(work);
  const uint32_t time = lg::TZipWriter::DosDateTime(2022, 1, 2, 3, 4, 6);

  const std::string small = (work / "small.zip").string();
  {
    lg::TZipWriter w;
    if (!w.Open(small)) return 1;
    for (int i = 0; i < 10000; ++i) {
      const std::string name = "data/d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".txt";
      if (!w.AddFile(name, Text(200 + (i * 37) % 1800, static_cast<uint32_t>(i)), lg::TZipWriter::TMethod::Deflated,
                     time))
        return 1;
    }
    if (!w.Close()) return 1;
  }
  const std::string large = (work / "large.zip").string();
  {
    const std::string source = (work / "large.bin").string();
    lg::plat::TFileStream f;
    if (!f.Open(source, lg::plat::TFileStream::Mode::Create)) return 1;
    for (long i = 0; i < mib; ++i) {
      const std::string block = Text(1 << 20, static_cast<uint32_t>(i));
      if (!f.Write(block.data(), block.size())) return 1;
    }
    f.Close();
    lg::TZipWriter w;
    if (!w.Open(large) || !w.AddFileFrom("large.bin", source, lg::TZipWriter::TMethod::Deflated, time) || !w.Close())
      return 1;
    fs::remove(source);
  }
  std::printf("archives: %.1f MiB (10,000 files), %.1f MiB (one %ld MiB file); medians of %d rounds\n",
              static_cast<double>(fs::file_size(small)) / 1048576.0,
              static_cast<double>(fs::file_size(large)) / 1048576.0, mib, rounds);
  Compare("10,000 small files", small, work, rounds, 10000);
  Compare("one large file", large, work, rounds, 1);
  fs::remove_all(work);
  return 0;
}
