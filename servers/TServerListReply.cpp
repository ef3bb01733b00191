#include "servers/TServerListReply.h"

#include <algorithm>

#include "servers/ServerListFrame.h"

namespace lg {

void TServerListReply::Append(const void* data, size_t size) {
  const size_t room = kBufferSize - buffer_.size();
  const size_t take = std::min(room, size);
  buffer_.append(static_cast<const char*>(data), take);
  dropped_ += size - take;

  const std::string_view all(buffer_);
  size_t p = 0;
  while (all.size() - p >= ops::kFrameHeaderSize) {
    const std::string_view rest = all.substr(p);
    if (static_cast<unsigned char>(rest[0]) != 0xAA || static_cast<unsigned char>(rest[1]) != 0x55) {
      ++p;  // stray byte before a magic
      continue;
    }
    size_t consumed = 0;
    auto frame = DecodeFrame(rest, &consumed);
    if (!frame) break;  // not complete yet: wait for more datagrams
    p += consumed;
    if (frame->Command != ops::kCmdServerListReply || !OnServerList) continue;
    const unsigned generation = generation_;
    OnServerList(std::string(frame->Payload));
    if (generation != generation_) return;  // the handler cleared the buffer
  }
}

}  // namespace lg
