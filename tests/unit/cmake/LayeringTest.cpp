// Every #include "..." of the checkout against the layer table.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/support/TestSupport.h"
#include "tests/unit/cmake/LayerTable.h"

namespace lg::test {
namespace {

namespace fs = std::filesystem;

const std::string kRoot = LG_SOURCE_DIR;

bool IsSource(const fs::path& p) {
  const std::string ext = p.extension().string();
  return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".c" || ext == ".inc";
}

// Source files below the folders of the table's entries, relative to the
// checkout with '/' separators.
std::set<std::string> SourcesOf(const TLayerTable& table) {
  std::set<std::string> out;
  for (const TLayerEntry& e : table.Entries()) {
    if (e.Prefix.empty() || e.Prefix.back() != '/') continue;
    std::error_code ec;
    const fs::path folder = fs::path(kRoot) / e.Prefix;
    if (!fs::is_directory(folder, ec)) continue;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec) || !IsSource(it->path())) continue;
      out.insert(fs::relative(it->path(), kRoot, ec).generic_string());
    }
  }
  return out;
}

TEST(Layering, NoFileIncludesAHigherLayerOrASibling) {
  TLayerTable table;
  std::string error;
  ASSERT_TRUE(table.Parse(ReadFileBytes(kRoot + "cmake/Layers.txt"), error)) << error;
  const std::set<std::string> files = SourcesOf(table);
  // The scan must have found the tree, or the check would pass on nothing.
  ASSERT_TRUE(files.count("common/Platform.h")) << kRoot;
  ASSERT_TRUE(files.count("update/json/TzqJSON.h"));
  ASSERT_TRUE(files.count("tests/unit/cmake/LayeringTest.cpp"));
  const TFileExists exists = [](const std::string& p) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(kRoot) / p, ec);
  };
  size_t includes = 0;
  std::vector<std::string> faults;
  for (const std::string& file : files) {
    const std::string text = ReadFileBytes(kRoot + file);
    includes += QuotedIncludes(text).size();
    for (std::string& f : CheckIncludes(table, file, text, exists)) faults.push_back(std::move(f));
  }
  EXPECT_GT(includes, files.size());
  std::string all;
  for (const std::string& f : faults) all += f + "\n";
  EXPECT_TRUE(faults.empty()) << faults.size() << " includes break the layers:\n" << all;
}

}  // namespace
}  // namespace lg::test
