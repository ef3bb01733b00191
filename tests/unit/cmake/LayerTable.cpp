#include "tests/unit/cmake/LayerTable.h"

#include <cctype>

namespace lg::test {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Splits off the first run of non-blank characters.
std::string_view NextWord(std::string_view& s) {
  s = Trim(s);
  size_t end = 0;
  while (end < s.size() && !std::isspace(static_cast<unsigned char>(s[end]))) ++end;
  std::string_view word = s.substr(0, end);
  s.remove_prefix(end);
  return word;
}

bool ParseLayer(std::string_view word, int& layer) {
  if (word.empty() || word.size() > 3) return false;
  layer = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    layer = layer * 10 + (c - '0');
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool TLayerTable::Parse(std::string_view text, std::string& error) {
  entries_.clear();
  int lineNo = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNo;
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) continue;
    const std::string_view prefix = NextWord(line);
    const std::string_view layerWord = NextWord(line);
    int layer = 0;
    if (!ParseLayer(layerWord, layer) || !Trim(line).empty()) {
      error = "line " + std::to_string(lineNo) + ": expected a path prefix and a layer number";
      return false;
    }
    if (Find(prefix) != nullptr && Find(prefix)->Prefix == prefix) {
      error = "line " + std::to_string(lineNo) + ": " + std::string(prefix) + " is listed twice";
      return false;
    }
    entries_.push_back({std::string(prefix), layer});
  }
  return true;
}

const TLayerEntry* TLayerTable::Find(std::string_view path) const {
  const TLayerEntry* best = nullptr;
  for (const TLayerEntry& e : entries_) {
    if (path.substr(0, e.Prefix.size()) != e.Prefix) continue;
    if (best == nullptr || e.Prefix.size() > best->Prefix.size()) best = &e;
  }
  return best;
}

std::vector<TQuotedInclude> QuotedIncludes(std::string_view text) {
  std::vector<TQuotedInclude> out;
  int lineNo = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNo;
    if (line.empty() || line.front() != '#') continue;
    line = Trim(line.substr(1));
    if (line.substr(0, 7) != "include") continue;
    line = Trim(line.substr(7));
    if (line.empty() || line.front() != '"') continue;
    const size_t close = line.find('"', 1);
    if (close == std::string_view::npos) continue;
    out.push_back({lineNo, std::string(line.substr(1, close - 1))});
  }
  return out;
}

std::vector<std::string> CheckIncludes(const TLayerTable& table, const std::string& path, std::string_view text,
                                       const TFileExists& exists) {
  std::vector<std::string> faults;
  const TLayerEntry* own = table.Find(path);
  if (own == nullptr) return faults;
  const std::string folder = FolderOf(path);
  for (const TQuotedInclude& inc : QuotedIncludes(text)) {
    const std::string beside = folder + inc.Target;
    const std::string target = exists(beside) ? beside : inc.Target;
    const std::string where = path + ":" + std::to_string(inc.Line) + ": \"" + inc.Target + "\" ";
    const TLayerEntry* theirs = table.Find(target);
    if (theirs == nullptr) {
      faults.push_back(where + "is in no layer of the table");
    } else if (theirs == own || theirs->Layer < own->Layer) {
      continue;
    } else if (theirs->Layer > own->Layer) {
      faults.push_back(where + "is " + theirs->Prefix + " (layer " + std::to_string(theirs->Layer) +
                       "), above its own layer " + std::to_string(own->Layer) + " (" + own->Prefix + ")");
    } else {
      faults.push_back(where + "is " + theirs->Prefix + ", a sibling on its own layer " + std::to_string(own->Layer) +
                       " (" + own->Prefix + ")");
    }
  }
  return faults;
}

}  // namespace lg::test
