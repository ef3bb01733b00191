// THttpTestServer: an in-process HTTP/1.1 server on 127.0.0.1 (a free port
// chosen by the system) for tests of the HTTP client, the downloader and the
// update thread. Each request is answered by a scripted THttpReply that can
// chunk, gzip or deflate the body, honour byte ranges, redirect, delay,
// pace, stall, drop the connection mid-body, send a wrong "Content-Range",
// send raw bytes, or accept and never answer. Every request is recorded with
// its raw bytes so tests can assert on what the client sent.
//
// Usage:
//   THttpTestServer server;
//   server.Serve("/a.txt", THttpReply::Text("hello"));
//   server.Serve("/old", THttpReply::Redirect(server.Url("/a.txt")));
//   ... client fetches server.Url("/a.txt") ...
//   EXPECT_EQ(server.Requests()[0].Header("Host"), ...);
//
// Threads: one accepting thread and one thread per connection, all ended by
// Stop() or the destructor (which also releases connections held open by
// stall or neverAnswer). Serve, SetHandler and the observers may be called
// from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lg::test {

struct TRecordedRequest {
  std::string raw;  // header block and body exactly as received
  std::string method;
  std::string target;  // as on the request line (still percent-encoded)
  std::string protocol;
  std::vector<std::pair<std::string, std::string>> headers;  // in order received
  std::string body;
  // Value of the last header of that name (any letter case), "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct THttpReply {
  enum class TCoding { Identity, Gzip, Deflate };

  int status = 200;
  std::string reason = "OK";
  // Extra header lines, sent in this order after the generated ones
  // ("Content-Length", "Transfer-Encoding", "Content-Encoding",
  // "Content-Range", "Connection: close").
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // the entity before content coding

  TCoding coding = TCoding::Identity;  // gzip: RFC 1952; deflate: raw RFC 1951
  std::string codingName;              // "Content-Encoding" text; default "gzip" / "deflate"

  bool chunked = false;
  size_t chunkSize = 4096;
  std::string chunkExtension;  // appended to every size line, e.g. ";x=1"
  bool sendLength = true;      // "Content-Length" for an unchunked body

  // Answer "Range: bytes=a-b" / "bytes=a-" with 206 and "Content-Range"
  // (416 when the start lies beyond the end). Ranges apply to the coded body.
  bool honourRanges = false;
  // Sent as "Content-Range" with status 206, whatever was asked (a lying
  // server); the body is sent as it is.
  std::string contentRange;

  // Called on the connection's thread, outside the server's lock, before
  // anything is answered: a test can hold answers back until the requests
  // it waits for have arrived.
  std::function<void(const TRecordedRequest&)> beforeAnswer;
  int delayMs = 0;           // before the status line
  size_t writeBytes = 0;     // pace: send the response in pieces of this size ...
  int writeDelayMs = 0;      // ... with this pause between pieces
  int64_t dropAfter = -1;    // close the connection after this many body bytes
  int64_t stallAfter = -1;   // after this many body bytes send nothing more, keep the connection open
  bool neverAnswer = false;  // read the request, answer nothing, keep the connection open
  std::string raw;           // when not empty: sent verbatim instead of a built response
  // Kept-alive connections (SetKeepAlive) only: "Connection: close" on this
  // answer, then the connection ends.
  bool closeConnection = false;
  // The status line's protocol; an "HTTP/1.0" answer ends its connection
  // unless a "Connection: keep-alive" line is among `headers`.
  std::string protocol = "HTTP/1.1";

  static THttpReply Text(std::string body, int status = 200);
  static THttpReply Redirect(const std::string& location, int status = 302);
  static THttpReply NotFound();
};

class THttpTestServer {
 public:
  using THandler = std::function<THttpReply(const TRecordedRequest&)>;

  THttpTestServer();  // listening and serving when constructed
  ~THttpTestServer();
  THttpTestServer(const THttpTestServer&) = delete;
  THttpTestServer& operator=(const THttpTestServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;

  // Every request whose target (query included) equals `target` gets `reply`.
  void Serve(const std::string& target, THttpReply reply);
  // Requests without a route go to the handler; without one they get 404.
  void SetHandler(THandler handler);
  // Keeps connections open for further requests (no "Connection: close"
  // sent): each serves at most `maxRequests` and then closes without
  // warning, and one idle for `idleMs` closes too. 0 requests: one request
  // per connection, each answer with "Connection: close" (the default).
  void SetKeepAlive(int maxRequests, int idleMs = 5000);

  std::vector<TRecordedRequest> Requests() const;
  size_t RequestCount() const;
  int Connections() const { return connections_.load(); }
  // Waits until every connection made so far has been read and closed, so
  // that a client gone before this no longer adds requests; false after
  // `limitMs`.
  bool WaitIdle(uint32_t limitMs);

  // Ends every connection and thread; idempotent.
  void Stop();

 private:
  void AcceptLoop();
  void HandleConnection(std::intptr_t client);
  bool ReadRequest(std::intptr_t client, TRecordedRequest& request, uint32_t idleLimitMs);
  THttpReply ReplyFor(const TRecordedRequest& request);
  // True when the connection stays open for the next request.
  bool SendReply(std::intptr_t client, const TRecordedRequest& request, THttpReply reply, bool mayKeep);
  bool SendAll(std::intptr_t client, const char* data, size_t size);
  void HoldOpen(std::intptr_t client);
  void Pause(int ms);

  std::intptr_t listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> active_{0};  // accepted or being accepted, not yet closed
  std::atomic<int> keepAliveRequests_{0};
  std::atomic<int> keepAliveIdleMs_{5000};
  std::thread acceptor_;

  mutable std::mutex lock_;  // guards everything below
  std::map<std::string, THttpReply> routes_;
  THandler handler_;
  std::vector<TRecordedRequest> requests_;
  std::vector<std::thread> workers_;
};

// Compresses `data` as a gzip member (gzip = true) or raw deflate data.
std::string Compress(const std::string& data, bool gzip);

}  // namespace lg::test
