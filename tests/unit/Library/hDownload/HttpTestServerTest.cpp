// The test peer's byte ranges, checked through the client's own socket and
// header parser, since the downloader's tests rely on them.
#include <gtest/gtest.h>

#include "Library/hDownload/TBlockSocket.h"
#include "Library/hDownload/THttpHeader.h"
#include "tests/support/HttpTestServer.h"

namespace lg {
namespace {

struct TRangeAnswer {
  int status = 0;
  std::string contentRange;
  std::string body;
};

TRangeAnswer Ask(test::THttpTestServer& server, const std::string& range) {
  THttpHeader request;
  request.SetRequest("GET", server.Url("/f"));
  if (!range.empty()) request.SetHeader("Range", range);
  TBlockSocket s;
  TRangeAnswer a;
  if (!s.Connect("127.0.0.1", request.Port, 5000)) return a;
  s.SendString(request.BuildRequestText());
  THttpHeader response;
  response.RangeStart = request.RangeStart;
  std::string line;
  while (s.ReadLine(line) && response.ParseResponseLine(line) == THttpHeader::TLineResult::Continue) {
  }
  a.status = response.StatusCode;
  a.contentRange = response.GetHeader("Content-Range");
  for (int64_t left = response.ContentLength; left > 0;) {
    const char* block = nullptr;
    const int n = s.RecvBuffer(static_cast<int>(left), &block);
    if (n < 1) break;
    a.body.append(block, n);
    left -= n;
  }
  return a;
}

TEST(HttpTestServer, HonoursByteRanges) {
  test::THttpTestServer server;
  test::THttpReply file = test::THttpReply::Text("0123456789abcdefghij");
  file.honourRanges = true;
  server.Serve("/f", file);

  struct Row {
    std::string range;
    int status;
    std::string contentRange;
    std::string body;
  };
  const Row rows[] = {
      {"", 200, "", "0123456789abcdefghij"},       {"Bytes=10-", 206, "bytes 10-19/20", "abcdefghij"},
      {"bytes=5-9", 206, "bytes 5-9/20", "56789"}, {"bytes=15-99", 206, "bytes 15-19/20", "fghij"},
      {"bytes=20-", 416, "bytes */20", ""},
  };
  for (const Row& r : rows) {
    const TRangeAnswer a = Ask(server, r.range);
    EXPECT_EQ(a.status, r.status) << r.range;
    EXPECT_EQ(a.contentRange, r.contentRange) << r.range;
    EXPECT_EQ(a.body, r.body) << r.range;
  }
  EXPECT_EQ(server.Requests().back().Header("range"), "bytes=20-");
}

}  // namespace
}  // namespace lg
