// UnZip of arbitrary bytes, package mode, into a private folder. Beyond
// sanitizer findings, the target aborts when anything appears outside the
// output folder or a symbolic link appears inside it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "update/zip/TZipExtractor.h"

namespace {

namespace fs = std::filesystem;

struct TSilent : lg::IZipErrorReporter {
  void ShowZipError(const std::string&, const std::string&) override {}
};

const fs::path& Root() {
  static const fs::path root = [] {
    fs::path p = fs::temp_directory_path() / ("lg-fuzz-unzip-" + std::to_string(std::rand()) + "-" +
                                              std::to_string(reinterpret_cast<uintptr_t>(&p) & 0xFFFF));
    fs::create_directories(p);
    return p;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path root = Root();
  const fs::path zip = root / "in.zip", out = root / "out";
  {
    std::ofstream f(zip, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TSilent silent;
  lg::TZipExtractor x;
  x.ZipName = zip.string();
  x.DestDir = out.string();
  x.RecreateDirs = (size & 1) == 0;  // both modes
  x.ErrorReporter = &silent;
  x.OnLog = [](const std::string&) {};
  const int count = x.UnZip();
  if (count < 0 || static_cast<size_t>(count) > x.Entries().size()) std::abort();
  for (const auto& e : fs::directory_iterator(root))
    if (e.path() != zip && e.path() != out) std::abort();  // written outside the target folder
  std::error_code ec;
  if (fs::exists(out)) {
    for (auto it = fs::recursive_directory_iterator(out, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (ec) break;
      if (it->is_symlink()) std::abort();
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(out, ec);
  return 0;
}
