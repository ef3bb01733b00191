// Body readers of an HTTP response over a TBlockSocket, shared by the
// document fetch and the download workers, and the content decoder for
// "gzip" and "deflate" bodies. Each reader hands the body to a sink in blocks
// of at most 9216 bytes straight from the socket's buffer.
//
// Threads: the thread that owns the socket. `stop` may read flags that other
// threads set; it is polled between blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Library/hDownload/TBlockSocket.h"
#include "Library/hDownload/THttpHeader.h"

namespace lg {

// Takes one block of body bytes; false stops the reader (and fails it).
using TBodySink = std::function<bool(const char* data, int size)>;
// True when the reader must give up (a terminate request).
using TStopCheck = std::function<bool()>;

// Diagnostics name the reader after its caller (`tag`, e.g.
// "ReadChunkedDocument2"). On failure `error` says why.
struct TBodyReadContext {
  TBlockSocket& socket;
  THttpHeader& response;
  TBodySink sink;
  TStopCheck stop;
  const char* tag;
  std::string error;
};

// Chunked framing: size lines in hexadecimal (extensions ignored), each
// chunk followed by its line end; success exactly at the zero-size chunk,
// which sets response.ContentLength := response.Received. The trailer is not
// read (the connection is closed anyway).
bool ReadChunkedBody(TBodyReadContext& c);
// Exactly response.ContentLength bytes. A length of -1 (a "Content-Length"
// that is not a number) fails at once.
bool ReadIdentityBody(TBodyReadContext& c);
// As ReadIdentityBody, but the body is appended straight to `document`,
// which grows as the bytes come: no copy through the socket's buffer, and
// each receive takes as much as the connection has ready. `c.sink` is not
// used; on failure `document` keeps the bytes that came.
bool ReadIdentityBodyInto(TBodyReadContext& c, std::string& document);
// Everything until the peer closes the connection, for a response that has
// neither a length nor chunked framing. A receive time-out is a failure.
bool ReadBodyUntilClose(TBodyReadContext& c);

// Streaming zlib inflation (window bits 47: zlib or gzip header detected;
// -15: raw deflate). Input is taken in blocks of 32768 bytes and output
// handed to the sink in blocks of at most 32768 bytes.
class TInflater {
 public:
  explicit TInflater(int windowBits);
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // False on a zlib error (ErrorText holds zlib's message) or when the sink
  // refuses a block. Bytes after the end of the compressed stream are
  // ignored.
  bool Feed(const char* data, size_t size, const TBodySink& sink);
  // True once the compressed stream has ended properly.
  bool Finished() const { return finished_; }
  const std::string& ErrorText() const { return error_; }

 private:
  struct TState;
  TState* state_;
  bool finished_ = false;
  std::string error_;
};

// Replaces `document` by its inflation. Fails, leaving `document` as it was,
// on a zlib error, a truncated stream, or output above `maxSize` bytes.
bool InflateDocument(std::string& document, int windowBits, int64_t maxSize, std::string& error);

}  // namespace lg
