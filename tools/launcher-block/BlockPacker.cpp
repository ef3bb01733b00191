#include "tools/launcher-block/BlockPacker.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/FileStream.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "launcher/ConfigBlock.h"
#include "launcher/DelimitedText.h"
#include "launcher/SkinLayout.h"

namespace lg::blocktool {
namespace {

void PutInt32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Splits keeping each line's own end ("\n" or "\r\n") with it.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    size_t len = nl == std::string_view::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(0, len));
    text.remove_prefix(len);
  }
  return lines;
}

bool ParseInt16(std::string_view word, int& value) {
  std::string s(word);
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || errno != 0 || *end != '\0' || v < INT16_MIN || v > INT16_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

bool ProgramImageSize(std::string_view file, int64_t& imageSize, std::string& error) {
  const int64_t size = static_cast<int64_t>(file.size());
  imageSize = size;
  if (size < kBlockTrailerSize) return true;
  TBlockTrailer t = DecodeTrailer(reinterpret_cast<const unsigned char*>(file.data()) + size - kBlockTrailerSize);
  if (t.flag != kBlockFlag) return true;
  const int64_t blockEnd = size - kBlockTrailerSize;
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const TBlockSection* s : {&t.url, &t.res, &t.pos}) {
    if (s->offset <= 0 || s->size <= 0 || s->offset > blockEnd || s->size > blockEnd - s->offset) {
      error = "the file ends with a deployment block whose sections lie outside it";
      return false;
    }
    spans.emplace_back(s->offset, s->size);
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 0; i + 1 < spans.size(); ++i)
    if (spans[i].first + spans[i].second != spans[i + 1].first) {
      error = "the file ends with a deployment block whose sections are not back to back";
      return false;
    }
  if (spans.back().first + spans.back().second != blockEnd) {
    error = "the file ends with a deployment block whose sections do not reach its trailer";
    return false;
  }
  imageSize = spans.front().first;
  return true;
}

bool BuildUrlSection(std::string_view utf8, std::string& gbk, std::string& error, std::string& warning) {
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  std::string out;
  int lineNo = 0;
  for (std::string_view line : Lines(utf8)) {
    ++lineNo;
    std::string converted;
    if (line.find('\0') != std::string_view::npos) {
      error = "urls line " + std::to_string(lineNo) + ": NUL byte";
      return false;
    }
    if (!plat::TryGbkFromUtf8(line, converted)) {
      error = "urls line " + std::to_string(lineNo) + ": a character that GBK cannot hold (or bad UTF-8)";
      return false;
    }
    out += converted;
  }
  const size_t count = SplitDelimited(out, ' ').size();
  if (count < static_cast<size_t>(kDeploymentValueCount)) {
    error = "urls: " + std::to_string(count) + " values, the launcher needs ten";
    return false;
  }
  warning.clear();
  if (count > static_cast<size_t>(kDeploymentValueCount))
    warning = "urls: " + std::to_string(count) + " values, the launcher uses the first ten";
  gbk = std::move(out);
  return true;
}

bool LooksLikeImage(std::string_view b) {
  return b.substr(0, 8) == "\x89PNG\r\n\x1A\n" || b.substr(0, 3) == "\xFF\xD8\xFF" || b.substr(0, 2) == "BM" ||
         b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a";
}

bool BuildImageSection(const std::string& dir, std::string& res, std::vector<int64_t>& sizes, std::string& error) {
  std::string base = dir;
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
  std::string out;
  std::vector<int64_t> got;
  for (const char* name : kImageNames) {
    const std::string path = base + name + ".png";
    std::string bytes;
    if (!plat::ReadWholeFile(path, bytes)) {
      error = "image " + path + ": cannot be read";
      return false;
    }
    if (!LooksLikeImage(bytes)) {
      error = "image " + path + ": not a PNG, JPEG, BMP or GIF file";
      return false;
    }
    if (bytes.size() > static_cast<size_t>(INT32_MAX) - out.size() - 4) {
      error = "image " + path + ": the image section would pass 2 GiB";
      return false;
    }
    PutInt32(out, static_cast<uint32_t>(bytes.size()));
    out += bytes;
    got.push_back(static_cast<int64_t>(bytes.size()));
  }
  res = std::move(out);
  sizes = std::move(got);
  return true;
}

bool BuildPositionSection(std::string_view text, std::string& pos, std::string& error) {
  std::string out;
  int records = 0, lineNo = 0;
  for (std::string_view line : Lines(text)) {
    ++lineNo;
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
      size_t b = i;
      while (i < line.size() && !(line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
      if (i > b) words.push_back(line.substr(b, i - b));
    }
    if (words.empty()) continue;
    int v[4];
    if (words.size() != 4 || !ParseInt16(words[0], v[0]) || !ParseInt16(words[1], v[1]) ||
        !ParseInt16(words[2], v[2]) || !ParseInt16(words[3], v[3])) {
      error = "positions line " + std::to_string(lineNo) + ": expected \"X Y W H\", four numbers from -32768 to 32767";
      return false;
    }
    for (int x : v) {
      out += static_cast<char>(x & 0xFF);
      out += static_cast<char>((x >> 8) & 0xFF);
    }
    ++records;
  }
  if (records != kPositionRecordCount) {
    error = "positions: " + std::to_string(records) + " records, expected " + std::to_string(kPositionRecordCount);
    return false;
  }
  pos = std::move(out);
  return true;
}

bool ComposeBlock(int64_t imageSize, const TSections& sections, std::string& block, std::string& error) {
  const int64_t total = imageSize +
                        static_cast<int64_t>(sections.url.size() + sections.res.size() + sections.pos.size()) +
                        kBlockTrailerSize;
  if (imageSize <= 0 || total > INT32_MAX) {
    error = "the launcher with its block would not fit the block's 32-bit offsets";
    return false;
  }
  TBlockTrailer t;
  int64_t at = imageSize;
  for (auto [s, body] :
       {std::pair{&t.url, &sections.url}, std::pair{&t.res, &sections.res}, std::pair{&t.pos, &sections.pos}}) {
    s->offset = static_cast<int32_t>(at);
    s->size = static_cast<int32_t>(body->size());
    s->md5 = Md5OfBuffer(body->data(), body->size());
    at += s->size;
  }
  t.flag = kBlockFlag;
  block = sections.url + sections.res + sections.pos + EncodeTrailer(t);
  return true;
}

}  // namespace lg::blocktool
