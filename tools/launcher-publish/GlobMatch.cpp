#include "tools/launcher-publish/GlobMatch.h"

#include <vector>

#include "common/AsciiCase.h"

namespace lg::publish {
namespace {

// Length of the UTF-8 sequence starting at `c` (1 for stray bytes).
size_t SequenceLength(unsigned char c) {
  if (c >= 0xF0 && c < 0xF8) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

}  // namespace

bool GlobMatch(std::string_view pattern, std::string_view path) {
  // Dynamic programming over (pattern position, path position) keeps the
  // work bounded (quadratic) whatever the pattern holds.
  const size_t m = pattern.size(), n = path.size();

  std::vector<char> memo((m + 1) * (n + 1), 0);  // 0 unknown, 1 false, 2 true
  // Recursion depth is bounded by the pattern's and the path's lengths,
  // both short (a command-line pattern, a file name).
  struct TMatcher {
    std::string_view p, s;
    std::vector<char>& memo;
    size_t n;
    bool Match(size_t i, size_t j) {
      char& slot = memo[i * (n + 1) + j];
      if (slot) return slot == 2;
      bool r = false;
      if (i == p.size()) {
        r = j == s.size();
      } else if (p[i] == '*' && i + 1 < p.size() && p[i + 1] == '*') {
        size_t next = i + 2;
        // "**/" may stand for no folder at all.
        if (next < p.size() && p[next] == '/' && Match(next + 1, j)) r = true;
        for (size_t k = j; !r && k <= s.size(); ++k) r = Match(next, k);
      } else if (p[i] == '*') {
        for (size_t k = j; !r && k <= s.size(); ++k) {
          r = Match(i + 1, k);
          if (k < s.size() && s[k] == '/') break;
        }
      } else if (j < s.size()) {
        if (p[i] == '?') {
          if (s[j] != '/') {
            size_t len = SequenceLength(static_cast<unsigned char>(s[j]));
            r = j + len <= s.size() && Match(i + 1, j + len);
          }
        } else {
          r = AsciiLower(p[i]) == AsciiLower(s[j]) && Match(i + 1, j + 1);
        }
      }
      slot = r ? 2 : 1;
      return r;
    }
  } matcher{pattern, path, memo, n};
  return matcher.Match(0, 0);
}

}  // namespace lg::publish
