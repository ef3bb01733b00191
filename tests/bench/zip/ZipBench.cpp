// Extraction speed against Info-ZIP unzip and bsdtar on the same archives,
// measured in the same run: 10,000 small deflated files in 100 folders,
// and one large compressible deflated file. Prints times and speed ratios
// (the tool's time divided by ours: above 1 means we are faster).
//   bench_zip [large-file-MiB=256] [runs=3]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "common/FileStream.h"
#include "update/zip/TZipExtractor.h"
#include "update/zip/TZipWriter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

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

// One timed extraction into an empty folder.
double Time(const fs::path& out, const std::function<bool()>& run) {
  fs::remove_all(out);
  fs::create_directories(out);
  // Deleting thousands of files leaves the file system work to do; let it
  // finish before the clock starts, whoever runs next.
  if (std::system("sync") != 0) std::fprintf(stderr, "sync failed\n");
  const auto start = Clock::now();
  if (!run()) {
    std::fprintf(stderr, "extraction failed\n");
    std::exit(1);
  }
  return Seconds(start);
}

void Compare(const char* label, const std::string& zip, const fs::path& work, int runs, size_t expectedFiles) {
  const fs::path ours = work / "ours", unzip = work / "unzip", bsdtar = work / "bsdtar";
  double tOurs = 1e9, tUnzip = 1e9, tTar = 1e9;
  // The three take turns, so a change in the machine's load hits them alike.
  for (int r = 0; r < runs; ++r) {
    tOurs = std::min(tOurs, Time(ours, [&] {
                       lg::TZipExtractor x;
                       x.ZipName = zip;
                       x.DestDir = ours.string();
                       x.RecreateDirs = true;
                       return static_cast<size_t>(x.UnZip()) == expectedFiles;
                     }));
    tUnzip = std::min(tUnzip, Time(unzip, [&] {
                        return std::system(("unzip -o -q " + zip + " -d " + unzip.string()).c_str()) == 0;
                      }));
    tTar = std::min(
        tTar, Time(bsdtar, [&] { return std::system(("bsdtar -xf " + zip + " -C " + bsdtar.string()).c_str()) == 0; }));
  }
  std::printf("%s: ours %.3f s, unzip %.3f s, bsdtar %.3f s; speed ratio vs unzip %.2f, vs bsdtar %.2f\n", label, tOurs,
              tUnzip, tTar, tUnzip / tOurs, tTar / tOurs);
  fs::remove_all(ours);
  fs::remove_all(unzip);
  fs::remove_all(bsdtar);
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 256;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
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
  std::printf("archives: %.1f MiB (10,000 files), %.1f MiB (one %ld MiB file); best of %d runs\n",
              static_cast<double>(fs::file_size(small)) / 1048576.0,
              static_cast<double>(fs::file_size(large)) / 1048576.0, mib, runs);
  Compare("10,000 small files", small, work, runs, 10000);
  Compare("one large file", large, work, runs, 1);
  fs::remove_all(work);
  return 0;
}
