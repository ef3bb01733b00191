#include "ui/WebPageRules.h"

#include "common/Gbk.h"
#include "common/Md5.h"

namespace lg {

std::string CheckAdapterText(const std::function<std::string(int position)>& adapterText) {
  static constexpr int kPositions = 4;
  std::string text;
  for (int position = 0; position < kPositions; ++position) {
    text = adapterText(position);
    if (text.find("00-00-00-00-00-00") == std::string::npos) return text;
  }
  return text;
}

std::string CrcValue(std::string_view adapterText, std::string_view saltHead, std::string_view saltTail) {
  std::string input;
  input.reserve(saltHead.size() + adapterText.size() + saltTail.size());
  input.append(saltHead).append(adapterText).append(saltTail);
  return Md5OfText(input);
}

std::string WithCrcParameter(std::string_view address, std::string_view crc) {
  std::string out(address);
  out += address.find('?') == std::string_view::npos ? "?crc=" : "&crc=";
  out += crc;
  return out;
}

bool IsCloseAddress(std::string_view address) {
  std::string lowered(address);
  for (char& c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lowered.find("#close") != std::string::npos;
}

std::string LoadingText() {
  return Gbk("正在加载请稍等 ...");
}

}  // namespace lg
