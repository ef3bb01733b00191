#include "Library/hDownload/HttpBody.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "Library/hDownload/HttpParse.h"
#include "common/Platform.h"

namespace lg {
namespace {

constexpr int kBlock = TBlockSocket::kBufferSize;
constexpr size_t kInflateBlock = 32768;
// How far a document grows ahead of its bytes: zeroed a step at a time, so
// the zeroing stays in the cache the receive then writes through.
constexpr int64_t kDocumentGrowStep = 262144;

bool Stopped(TBodyReadContext& c) {
  return c.stop && c.stop();
}

// Why the socket gave no more bytes.
std::string SocketReason(const TBlockSocket& s) {
  return s.LastErrorText().empty() ? std::string("connection closed by the server") : s.LastErrorText();
}

bool Deliver(TBodyReadContext& c, const char* data, int n) {
  if (!c.sink(data, n)) {
    if (c.error.empty()) c.error = "body refused by its receiver";
    return false;
  }
  c.response.Received += n;
  return true;
}

// Traces one receive of a body of known length; false, with the reason in
// c.error, when it brought nothing (`stop`: the reader was stopped).
bool TracePiece(TBodyReadContext& c, int n, int64_t left, bool stop) {
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict
  // overlap for the chain of operator+ on a temporary here.
  std::string trace = " ";
  trace += c.tag;
  trace += ' ';
  trace += std::to_string(n);
  trace += '/';
  trace += std::to_string(left);
  plat::DebugOutput(trace);
  if (n >= 1) return true;
  plat::DebugOutput(c.socket.LastErrorText());
  c.error = stop ? "stopped" : "body ended early: " + SocketReason(c.socket);
  return false;
}

}  // namespace

bool ReadChunkedBody(TBodyReadContext& c) {
  std::string line;
  for (;;) {
    if (Stopped(c)) {
      c.error = "stopped";
      return false;
    }
    if (!c.socket.ReadLine(line, TBlockSocket::TLineEnds::Strict)) {
      plat::DebugOutput(std::string(c.tag) + " ReadLine Error");
      c.error = std::string(c.tag) + " ReadLine Error: " + SocketReason(c.socket);
      return false;
    }
    const int64_t size = ParseChunkSizeLine(line);
    if (size <= 0) {
      if (size == 0) {
        c.response.ContentLength = c.response.Received;
        return true;
      }
      c.error = "bad chunk size line";
      return false;
    }
    for (int64_t left = size; left > 0;) {
      if (Stopped(c)) {
        c.error = "stopped";
        return false;
      }
      const char* block = nullptr;
      const int n = c.socket.RecvBuffer(static_cast<int>(std::min<int64_t>(left, kBlock)), &block);
      if (n < 1) {
        c.error = "chunk ended early: " + SocketReason(c.socket);
        return false;
      }
      if (!Deliver(c, block, n)) return false;
      left -= n;
    }
    // The line end after the chunk data; anything else means the sender's
    // framing and ours disagree.
    if (!c.socket.ReadLine(line, TBlockSocket::TLineEnds::Strict) || !line.empty()) {
      c.error = "chunk not followed by a line end";
      return false;
    }
  }
}

bool ReadIdentityBody(TBodyReadContext& c) {
  int64_t left = c.response.ContentLength;
  if (left < 0) {
    c.error = "Content-Length is not a length";
    return false;
  }
  while (left > 0) {
    const char* block = nullptr;
    const bool stop = Stopped(c);
    const int n = stop ? 0 : c.socket.RecvBuffer(static_cast<int>(std::min<int64_t>(left, kBlock)), &block);
    if (!TracePiece(c, n, left, stop) || !Deliver(c, block, n)) break;
    left -= n;
  }
  if (left == 0) return true;
  plat::DebugOutput(std::string(c.tag) + " ERROR!!!");
  return false;
}

bool ReadIdentityBodyInto(TBodyReadContext& c, std::string& document) {
  int64_t left = c.response.ContentLength;
  if (left < 0) {
    c.error = "Content-Length is not a length";
    return false;
  }
  size_t have = document.size();
  while (left > 0) {
    if (document.size() == have) document.resize(have + static_cast<size_t>(std::min(left, kDocumentGrowStep)));
    const int room = static_cast<int>(document.size() - have);
    const bool stop = Stopped(c);
    const int n = stop ? 0 : c.socket.RecvInto(document.data() + have, room);
    if (!TracePiece(c, n, left, stop)) break;
    have += static_cast<size_t>(n);
    c.response.Received += n;
    left -= n;
  }
  document.resize(have);
  if (left == 0) return true;
  plat::DebugOutput(std::string(c.tag) + " ERROR!!!");
  return false;
}

bool ReadBodyUntilClose(TBodyReadContext& c) {
  for (;;) {
    if (Stopped(c)) {
      c.error = "stopped";
      return false;
    }
    const char* block = nullptr;
    const int n = c.socket.RecvBuffer(kBlock, &block);
    if (n < 1) {
      // A clean close records no error; a time-out or reset does.
      if (c.socket.LastError() == 0) return true;
      c.error = "body ended early: " + SocketReason(c.socket);
      return false;
    }
    if (!Deliver(c, block, n)) return false;
  }
}

struct TInflater::TState {
  z_stream stream{};
  bool ready = false;
};

TInflater::TInflater(int windowBits) : state_(new TState) {
  const int rc = inflateInit2(&state_->stream, windowBits);
  state_->ready = rc == Z_OK;
  if (!state_->ready) error_ = zError(rc);
}

TInflater::~TInflater() {
  if (state_->ready) inflateEnd(&state_->stream);
  delete state_;
}

bool TInflater::Feed(const char* data, size_t size, const TBodySink& sink) {
  if (!state_->ready) return false;
  std::vector<unsigned char> out(kInflateBlock);
  z_stream& z = state_->stream;
  size_t offset = 0;
  while (offset < size && !finished_) {
    const size_t take = std::min(kInflateBlock, size - offset);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data + offset));
    z.avail_in = static_cast<uInt>(take);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      const int rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        error_ = z.msg ? z.msg : zError(rc);
        return false;
      }
      const size_t produced = out.size() - z.avail_out;
      if (produced > 0 && !sink(reinterpret_cast<const char*>(out.data()), static_cast<int>(produced))) return false;
      if (rc == Z_STREAM_END) {
        finished_ = true;
        break;
      }
      if (rc == Z_BUF_ERROR && produced == 0) break;  // needs more input
    } while (z.avail_in > 0 || z.avail_out == 0);
    offset += take;
  }
  return true;
}

bool InflateDocument(std::string& document, int windowBits, int64_t maxSize, std::string& error) {
  TInflater inflater(windowBits);
  std::string decoded;
  bool tooLarge = false;
  const bool ok = inflater.Feed(document.data(), document.size(), [&](const char* p, int n) {
    if (static_cast<int64_t>(decoded.size()) + n > maxSize) {
      tooLarge = true;
      return false;
    }
    decoded.append(p, n);
    return true;
  });
  if (tooLarge) {
    error = "decoded document larger than " + std::to_string(maxSize) + " bytes";
    return false;
  }
  if (!ok) {
    error = "content decoding failed: " + inflater.ErrorText();
    return false;
  }
  if (!inflater.Finished()) {
    error = "content decoding failed: compressed data ends early";
    return false;
  }
  document.swap(decoded);
  return true;
}

}  // namespace lg
