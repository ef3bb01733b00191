// Frames of the server-list exchange, shared by the launcher and the
// operator's server-list service. All fields little-endian:
//   magic (bytes AA 55), command, reserved 0, payload length, payload.
// The request command carries the game id as a 32-bit signed integer; the
// reply command the GBK JSON server list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/OperatorServices.h"

namespace lg {

// The magic, header size, commands and port are the service's facts in
// common/OperatorServices.h.
// The payload length field is 16 bits wide.
inline constexpr size_t kMaxFramePayload = 0xFFFF;

std::string EncodeFrame(uint16_t command, std::string_view payload);

// The 12-byte request for a game id given as decimal text (the deployment's
// `_HubID`); nullopt when the text is not a decimal 32-bit integer.
std::optional<std::string> EncodeServerListRequest(std::string_view hubId);

struct TFrameView {
  uint16_t Command;
  std::string_view Payload;
};

// Parses one complete frame at the start of `bytes` (nullopt when the magic
// is missing or the frame is incomplete). `consumed` is its whole size.
std::optional<TFrameView> DecodeFrame(std::string_view bytes, size_t* consumed = nullptr);

// The game id of a request frame, nullopt for anything else.
std::optional<int32_t> DecodeServerListRequest(std::string_view datagram);

}  // namespace lg
