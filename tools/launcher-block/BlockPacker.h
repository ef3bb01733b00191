// Building the deployment block and taking it off again: the operator-side
// counterpart of the launcher's block reader. Every function works on bytes
// in memory and reports a failure as false plus a text naming the culprit
// (file, line); the command layer writes files only after everything
// succeeded. Any thread; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lg::blocktool {

// The three sections as they are appended, in this order.
struct TSections {
  std::string url;  // GBK text
  std::string res;  // 33 records: 32-bit length + image file
  std::string pos;  // 19 records of four signed 16-bit values
};

// The length of the program image in `file`: the whole file when it carries
// no block, else the offset where its block starts. False when the file ends
// with the block magic but its sections do not lie back to back in front of
// the trailer (a block this tool cannot take apart safely).
bool ProgramImageSize(std::string_view file, int64_t& imageSize, std::string& error);

// urls.txt as the operator edits it (UTF-8, optional byte-order mark) to the
// GBK URL text. Fails on a character GBK cannot hold (naming the line), on a
// NUL byte and on fewer than ten values; `warning` is set for more than ten.
bool BuildUrlSection(std::string_view utf8, std::string& gbk, std::string& error, std::string& warning);

// True when `bytes` start like a PNG, JPEG, BMP or GIF file.
bool LooksLikeImage(std::string_view bytes);

// DIR/<name>.png for the 33 names in reading order. `sizes` gets each file's size.
bool BuildImageSection(const std::string& dir, std::string& res, std::vector<int64_t>& sizes, std::string& error);

// positions.txt: 19 lines "X Y W H", '#' starts a comment, blank lines skipped.
bool BuildPositionSection(std::string_view text, std::string& pos, std::string& error);

// The block for a program image of `imageSize` bytes: the sections, then the
// trailer with their absolute offsets and lowercase digests, then the magic.
// False when the offsets would not fit the trailer's signed 32-bit fields.
bool ComposeBlock(int64_t imageSize, const TSections& sections, std::string& block, std::string& error);

}  // namespace lg::blocktool
