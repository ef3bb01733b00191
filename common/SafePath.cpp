#include "common/SafePath.h"

#include <vector>

#include "common/Gbk.h"

namespace lg {
namespace {

bool Fail(std::string* reason, const char* why) {
  if (reason) *reason = why;
  return false;
}

// Code page 936 trail bytes. A lead byte followed by anything else is a
// lone invalid byte to the system's converter, and the byte after it keeps
// its own meaning (a ':' or a separator), so it must be checked here too.
bool IsGbkTrailByte(unsigned char c) {
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

bool IsDeviceName(std::string_view segment) {
  // The part before the first dot decides: "nul.txt" is still NUL. Windows
  // also ignores trailing blanks there ("CON .txt").
  std::string base = Upper(segment.substr(0, segment.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* n : kNames)
    if (base == n) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
      base[3] <= '9')
    return true;
  // Superscript digits ¹²³ in code page 1252 also name devices.
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      (base[3] == '\xB9' || base[3] == '\xB2' || base[3] == '\xB3'))
    return true;
  return false;
}

}  // namespace

bool IsSafeRelativePath(std::string_view name, std::string* reason) {
  if (name.empty()) return Fail(reason, "empty name");
  if (name.front() == '/' || name.front() == '\\') return Fail(reason, "rooted path");
  std::vector<std::string_view> segments;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      segments.push_back(name.substr(start, i - start));
      start = i + 1;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsGbkLeadByte(c) && i + 1 < name.size() && IsGbkTrailByte(static_cast<unsigned char>(name[i + 1]))) {
      ++i;  // the trail byte may be 0x5C or 0x7C and is part of the character
      continue;
    }
    if (c < 32 || c == 127) return Fail(reason, "control character");
    if (c == ':') return Fail(reason, "':' (drive letter or stream)");
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return Fail(reason, "reserved character");
  }
  for (std::string_view s : segments) {
    if (s.empty()) return Fail(reason, "empty segment");
    if (s == "." || s == "..") return Fail(reason, "'.' or '..' segment");
    if (s.back() == '.' || s.back() == ' ') return Fail(reason, "segment ends with a dot or blank");
    if (IsDeviceName(s)) return Fail(reason, "reserved device name");
  }
  return true;
}

std::string WithBackslashes(std::string_view name) {
  std::string out(name);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsGbkLeadByte(c) && i + 1 < out.size()) {
      ++i;
    } else if (c == '/') {
      out[i] = '\\';
    }
  }
  return out;
}

}  // namespace lg
