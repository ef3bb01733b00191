#include "servers/ServerListFrame.h"

#include <cstring>

#include "common/Decimal.h"

namespace lg {
namespace {

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

uint16_t Get16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

}  // namespace

std::string EncodeFrame(uint16_t command, std::string_view payload) {
  std::string out;
  out.reserve(ops::kFrameHeaderSize + payload.size());
  Put16(out, ops::kFrameMagic);
  Put16(out, command);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(payload.size()));
  out.append(payload.substr(0, kMaxFramePayload));
  return out;
}

std::optional<std::string> EncodeServerListRequest(std::string_view hubId) {
  // A decimal integer within 32 bits, optional sign, nothing else.
  int64_t value = 0;
  if (!ParseDecimal(hubId, TDecimalSign::Allowed, 2147483648LL, value, 10) || value > INT32_MAX) return std::nullopt;
  const uint32_t id = static_cast<uint32_t>(static_cast<int32_t>(value));
  char payload[4];
  for (int i = 0; i < 4; ++i) payload[i] = static_cast<char>((id >> (8 * i)) & 0xFF);
  return EncodeFrame(ops::kCmdServerListRequest, std::string_view(payload, 4));
}

std::optional<TFrameView> DecodeFrame(std::string_view bytes, size_t* consumed) {
  if (bytes.size() < ops::kFrameHeaderSize || Get16(bytes, 0) != ops::kFrameMagic) return std::nullopt;
  const size_t length = Get16(bytes, 6);
  if (bytes.size() - ops::kFrameHeaderSize < length) return std::nullopt;
  if (consumed) *consumed = ops::kFrameHeaderSize + length;
  return TFrameView{Get16(bytes, 2), bytes.substr(ops::kFrameHeaderSize, length)};
}

std::optional<int32_t> DecodeServerListRequest(std::string_view datagram) {
  auto frame = DecodeFrame(datagram);
  if (!frame || frame->Command != ops::kCmdServerListRequest || frame->Payload.size() != 4) return std::nullopt;
  uint32_t id = 0;
  for (int i = 0; i < 4; ++i) id |= static_cast<uint32_t>(static_cast<unsigned char>(frame->Payload[i])) << (8 * i);
  return static_cast<int32_t>(id);
}

}  // namespace lg
