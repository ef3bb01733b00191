#include "common/ProfileFile.h"

#include <cstdint>
#include <vector>

#include "common/AsciiCase.h"
#include "common/FileStream.h"

namespace lg {
namespace {

struct Line {
  size_t begin;  // offset of the first byte in the text
  size_t end;    // offset after the last byte, before CR LF
  size_t next;   // offset of the next line
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lf = text.find('\n', pos);
    size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (end > pos && text[end - 1] == '\r') --end;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The section name of a "[name]" line, or nullopt.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// Splits "key=value"; false for lines without "=" or comments.
bool KeyValueOf(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// Locates the section: index of its header line and one past its last line.
bool FindSection(std::string_view text, const std::vector<Line>& lines, std::string_view section, size_t& header,
                 size_t& end) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionOf(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (!name || !SameText(*name, section)) continue;
    header = i;
    end = i + 1;
    while (end < lines.size() && !SectionOf(text.substr(lines[end].begin, lines[end].end - lines[end].begin))) ++end;
    return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> ProfileValue(std::string_view text, std::string_view section, std::string_view key) {
  std::vector<Line> lines = SplitLines(text);
  size_t header = 0, end = 0;
  if (!FindSection(text, lines, section, header, end)) return std::nullopt;
  for (size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValueOf(text.substr(lines[i].begin, lines[i].end - lines[i].begin), k, v) && SameText(k, key))
      return Unquote(v);
  }
  return std::nullopt;
}

std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
  const std::string entry = std::string(key) + "=" + std::string(value) + "\r\n";
  std::vector<Line> lines = SplitLines(text);
  size_t header = 0, end = 0;
  if (!FindSection(text, lines, section, header, end)) {
    std::string out(text);
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    if (!out.empty()) out += "\r\n";
    return out + "[" + std::string(section) + "]\r\n" + entry;
  }
  size_t lastKeyLine = header;
  for (size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (!KeyValueOf(text.substr(lines[i].begin, lines[i].end - lines[i].begin), k, v)) continue;
    if (SameText(k, key)) {
      return std::string(text.substr(0, lines[i].begin)) + entry + std::string(text.substr(lines[i].next));
    }
    lastKeyLine = i;
  }
  // New key: after the section's last key, before any blank lines.
  size_t at = lines[lastKeyLine].next;
  std::string out(text.substr(0, at));
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  return out + entry + std::string(text.substr(at));
}

std::string WithoutProfileSection(std::string_view text, std::string_view section) {
  std::vector<Line> lines = SplitLines(text);
  size_t header = 0, end = 0;
  if (!FindSection(text, lines, section, header, end)) return std::string(text);
  // The blank lines that set the section apart go with it: a section
  // removed and added again (each save of a state file) leaves the text as
  // it was instead of one blank line longer.
  size_t first = header;
  while (first > 0 && Trim(text.substr(lines[first - 1].begin, lines[first - 1].end - lines[first - 1].begin)).empty())
    --first;
  size_t from = lines[first].begin;
  size_t to = end < lines.size() ? lines[end].begin : text.size();
  return std::string(text.substr(0, from)) + std::string(text.substr(to));
}

bool ParseProfileInt(std::string_view value, int& out) {
  value = Trim(value);
  bool negative = false;
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  int base = 10;
  if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    base = 16;
    value.remove_prefix(2);
  } else if (value.size() > 1 && value[0] == '$') {
    base = 16;
    value.remove_prefix(1);
  }
  if (value.empty()) return false;
  int64_t n = 0;
  for (char c : value) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    n = n * base + digit;
    if (n > (int64_t{1} << 32)) return false;
  }
  if (negative) n = -n;
  // Hexadecimal texts may spell a negative 32-bit value ("0xFFFFFFFF").
  if (base == 16 && !negative && n <= 0xFFFFFFFFll) n = static_cast<int32_t>(static_cast<uint32_t>(n));
  if (n < INT32_MIN || n > INT32_MAX) return false;
  out = static_cast<int>(n);
  return true;
}

std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section, std::string_view key) {
  std::string text;
  if (!plat::ReadWholeFile(path, text)) return std::nullopt;
  return ProfileValue(text, section, key);
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key, int fallback) {
  auto value = ReadProfileString(path, section, key);
  int n = 0;
  return value && ParseProfileInt(*value, n) ? n : fallback;
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  std::string text;
  plat::ReadWholeFile(path, text);  // a missing file starts empty
  return plat::WriteWholeFile(path, WithProfileValue(text, section, key, value));
}

bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key, int value) {
  return WriteProfileString(path, section, key, std::to_string(value));
}

}  // namespace lg
