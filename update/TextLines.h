// The lines of a state file's text, in order and in place: each ends at
// CR LF, LF or CR, which is not part of it. The ends are found with memchr,
// a whole line at a time, as these files hold a line for every installed
// file and are read on every pass.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

namespace lg {

class TTextLines {
 public:
  explicit TTextLines(std::string_view text) : text_(text), cr_(Find('\r')), lf_(Find('\n')) {}

  // The next line into `line`; false after the last.
  bool Next(std::string_view& line) {
    if (start_ >= text_.size()) return false;
    // Each search runs again only once its hit has been passed.
    if (cr_ < start_) cr_ = Find('\r');
    if (lf_ < start_) lf_ = Find('\n');
    const size_t end = std::min(cr_, lf_);
    line = text_.substr(start_, end - start_);
    start_ = end;
    if (start_ < text_.size() && text_[start_] == '\r') ++start_;
    if (start_ < text_.size() && text_[start_] == '\n') ++start_;
    return true;
  }

 private:
  // The first `c` at or after start_, or the text's size.
  size_t Find(char c) const {
    // An empty view may have no storage at all, which memchr must not see.
    if (start_ >= text_.size()) return text_.size();
    const void* hit = std::memchr(text_.data() + start_, c, text_.size() - start_);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text_.data()) : text_.size();
  }

  std::string_view text_;
  size_t start_ = 0;
  size_t cr_;
  size_t lf_;
};

}  // namespace lg
