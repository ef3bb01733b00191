// The rules of the two embedded browsers that need no browser: the "crc"
// parameter added to addresses the news page opens in the default browser,
// and the "#close" address that closes the web page window. Pure functions;
// any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lg {

// The hardware address text of the first adapter among positions 0..3
// that does not contain "00-00-00-00-00-00"; when none qualifies, the text
// of position 3 (possibly empty). `adapterText` answers one position.
std::string CheckAdapterText(const std::function<std::string(int position)>& adapterText);

// MD5 (lowercase hex) of salt head + adapter text + salt tail.
std::string CrcValue(std::string_view adapterText, std::string_view saltHead, std::string_view saltTail);

// The address with "?crc=" (no "?" in it yet) or "&crc=" and the value.
std::string WithCrcParameter(std::string_view address, std::string_view crc);

// The address, letters A-Z lowered, contains "#close".
bool IsCloseAddress(std::string_view address);

// The text written into the blank page while the real one loads (GBK).
std::string LoadingText();

}  // namespace lg
