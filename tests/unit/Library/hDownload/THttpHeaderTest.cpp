#include "Library/hDownload/THttpHeader.h"

#include <gtest/gtest.h>

#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/WebText.h"

namespace lg {
namespace {

std::vector<std::string> Names(const THttpHeader& h) {
  std::vector<std::string> out;
  for (const auto& e : h.Headers()) out.push_back(e.first);
  return out;
}

// Feeds a header block (lines separated by "\n") to a fresh response.
THttpHeader::TLineResult Feed(THttpHeader& response, const std::string& block) {
  response.ResetStatus();
  size_t pos = 0;
  for (;;) {
    const size_t nl = block.find('\n', pos);
    const auto r = response.ParseResponseLine(block.substr(pos, nl == std::string::npos ? nl : nl - pos));
    if (r != THttpHeader::TLineResult::Continue || nl == std::string::npos) return r;
    pos = nl + 1;
  }
}

TEST(THttpHeader, RequestWithUserInformationPortAndBlankInPath) {
  THttpHeader h;
  h.SetRequest("GET", "http://user:pw@example:8080/a b/c.txt?x=1");
  EXPECT_EQ(h.Host, "example");
  EXPECT_EQ(h.Port, 8080);
  EXPECT_EQ(h.Path, "/a b/c.txt?x=1");
  EXPECT_EQ(Names(h), (std::vector<std::string>{"Authorization", "Host", "User-Agent", "Accept-Language",
                                                "Accept-Encoding", "Accept", "Connection"}));
  EXPECT_EQ(h.BuildRequestText(),
            "GET /a%20b/c.txt?x=1 HTTP/1.1\r\n"
            "Authorization: Basic " +
                Base64Encode("user:pw") +
                "\r\n"
                "Host: example:8080\r\n"
                "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0; Trident/4.0)\r\n"
                "Accept-Language: zh-cn\r\n"
                "Accept-Encoding: gzip, deflate\r\n"
                "Accept: */*\r\n"
                "Connection: close\r\n"
                "\r\n");
}

TEST(THttpHeader, UrlForms) {
  struct Row {
    std::string url;
    std::string host;
    int port;
    std::string path;
    std::string hostHeader;
  };
  const Row rows[] = {
      {"http://example.com", "example.com", 80, "/", "example.com"},
      {"HtTp://example.com/", "example.com", 80, "/", "example.com"},
      {"http:// a.b//x\\y/z.json  ", "a.b", 80, "/x\\y/z.json", "a.b"},
      {" http://a.b/", "", 0, "", ""},
      {"http://a.b:bad/x", "a.b", 80, "/x", "a.b"},
      {"http://a.b:81", "a.b", 81, "/", "a.b:81"},
      {"http://a.b:99999/", "a.b", 0, "/", "a.b:0"},
      {"http://a.b:-1/", "a.b", 0, "/", "a.b:0"},
      {"https://a.b/x", "", 0, "", ""},
      {"ftp://a.b/x", "", 0, "", ""},
      {"a.b/x", "", 0, "", ""},
  };
  for (const Row& r : rows) {
    THttpHeader h;
    h.SetRequest("GET", r.url);
    EXPECT_EQ(h.Host, r.host) << r.url;
    EXPECT_EQ(h.Port, r.port) << r.url;
    EXPECT_EQ(h.Path, r.path) << r.url;
    EXPECT_EQ(h.GetHeader("Host"), r.hostHeader) << r.url;
    EXPECT_EQ(h.URL, r.url);
  }
}

TEST(THttpHeader, OnlyGetPostAndHeadAreRequests) {
  THttpHeader h;
  h.SetRequest("GET", "http://a/b");
  h.SetRequest("PUT", "http://other/c");
  EXPECT_EQ(h.Method, "GET");
  EXPECT_EQ(h.Host, "a");
  EXPECT_EQ(h.Path, "/b");
}

TEST(THttpHeader, AlreadyEncodedPathIsEncodedAgain) {
  THttpHeader h;
  h.SetRequest("HEAD", "http://a/x%20y");
  EXPECT_EQ(h.BuildRequestText().substr(0, 25), "HEAD /x%2520y HTTP/1.1\r\nH");
}

TEST(THttpHeader, NamesIgnoreCaseAndKeepTheirFirstPlace) {
  THttpHeader h;
  h.SetHeader("X-One", "1");
  h.SetHeader("X-Two", "2");
  h.SetHeader("x-ONE", "3");
  EXPECT_EQ(Names(h), (std::vector<std::string>{"x-ONE", "X-Two"}));
  EXPECT_EQ(h.GetHeader("X-ONE"), "3");
  EXPECT_EQ(h.GetHeader("missing"), "");
  ASSERT_NE(h.LastHeader(), nullptr);
  EXPECT_EQ(h.LastHeader()->first, "X-Two");
}

TEST(THttpHeader, RangeHeaders) {
  THttpHeader h;
  h.SetHeader("Range", "Bytes=100-");
  EXPECT_EQ(h.RangeStart, 100);
  EXPECT_EQ(h.RangeEnd, 0);
  h.SetHeader("range", "bytes=5-99");
  EXPECT_EQ(h.RangeStart, 5);
  EXPECT_EQ(h.RangeEnd, 99);
  h.SetRange(100, -1);
  EXPECT_EQ(h.GetHeader("Range"), "Bytes=100-");
  h.SetRange(0, 1023);
  EXPECT_EQ(h.GetHeader("Range"), "Bytes=0-1023");
  EXPECT_EQ(h.RangeEnd, 1023);
}

TEST(THttpHeader, ContentRangeChecksTheRequestedStart) {
  THttpHeader h;
  EXPECT_TRUE(h.SetHeader("Content-Range", "bytes 0-99/1000"));
  EXPECT_EQ(h.TotalSize, 1000);
  EXPECT_TRUE(h.SetHeader("Content-Range", "bytes */2000"));
  EXPECT_EQ(h.TotalSize, 2000);

  h.RangeStart = 100;
  EXPECT_FALSE(h.SetHeader("Content-Range", "bytes 0-99/1000"));
  EXPECT_EQ(h.ProtocolError().rfind("Content-Range Assert0<>100", 0), 0u) << h.ProtocolError();
  EXPECT_EQ(h.GetHeader("Content-Range"), "bytes */2000");  // the rejected value is not kept
  EXPECT_FALSE(h.SetHeader("Content-Range", "bytes x-y/1000"));
  EXPECT_TRUE(h.SetHeader("Content-Range", "bytes 100-199/1000"));
}

TEST(THttpHeader, LengthsThatAreNotLengths) {
  THttpHeader h;
  const std::pair<std::string, int64_t> rows[] = {
      {"1234", 1234}, {" 77 ", 77}, {"-5", -1}, {"+5", -1}, {"abc", -1}, {"", -1}, {"99999999999999999999", -1},
  };
  for (const auto& [text, length] : rows) {
    h.SetHeader("Content-Length", text);
    EXPECT_EQ(h.ContentLength, length) << text;
  }
}

TEST(THttpHeader, ResponseBlockParsing) {
  THttpHeader r;
  EXPECT_EQ(Feed(r,
                 "HTTP/1.1 206 Partial Content\n"
                 "A: 1\n"
                 " 2\n"
                 "Set-Cookie: a=1; path=/\n"
                 "Set-Cookie: b=2; path=/x\n"
                 "Content-Location: http://else/where\n"
                 "Transfer-Encoding:  chunked \n"
                 "Content-Encoding: GZIP\n"
                 "\n"),
            THttpHeader::TLineResult::EndOfHeaders);
  EXPECT_EQ(r.Protocol, "HTTP/1.1");
  EXPECT_EQ(r.StatusCode, 206);
  EXPECT_EQ(r.StatusText, "Partial Content");
  EXPECT_EQ(r.GetHeader("A"), "1 2");
  EXPECT_EQ(r.GetHeader("set-cookie"), "b=2; path=/x");
  EXPECT_EQ(r.URL, "http://else/where");
  EXPECT_TRUE(r.IsChunked());
  EXPECT_EQ(r.ContentWindowBits(), 47);
  // The response's header lines as text, without a request line.
  EXPECT_EQ(r.BuildRequestText().substr(0, 10), "A: 1 2\r\nSe");

  THttpHeader folded;
  EXPECT_EQ(Feed(folded, "HTTP/1.0 404 Not Found\n continuation first\n\n"), THttpHeader::TLineResult::EndOfHeaders);
  EXPECT_TRUE(folded.Headers().empty());

  THttpHeader ranged;
  ranged.RangeStart = 10;
  EXPECT_EQ(Feed(ranged, "HTTP/1.1 206 OK\nContent-Range: bytes 0-9/20\n\n"), THttpHeader::TLineResult::Error);
}

TEST(THttpHeader, ContentCodings) {
  const std::pair<std::string, int> rows[] = {
      {"gzip", 47}, {"GZIP", 47}, {"Deflate", -15}, {"br", 0}, {"x-gzip", 0}, {"", 0},
  };
  for (const auto& [coding, bits] : rows) {
    THttpHeader h;
    if (!coding.empty()) h.SetHeader("Content-Encoding", coding);
    EXPECT_EQ(h.ContentWindowBits(), bits) << coding;
  }
}

TEST(HttpParse, StatusLines) {
  struct Row {
    std::string line;
    std::string protocol;
    int code;
    std::string reason;
  };
  const Row rows[] = {
      {"HTTP/1.1 200 OK", "HTTP/1.1", 200, "OK"},
      {"HTTP/1.1   302   Moved  Temporarily", "HTTP/1.1", 302, "Moved  Temporarily"},
      {"HTTP/1.1 200", "HTTP/1.1", 200, ""},
      {"HTTP/1.1 abc OK", "HTTP/1.1", 0, "OK"},
      {"HTTP/1.1 -200 OK", "HTTP/1.1", 0, "OK"},
      {"HTTP/1.1 2000 OK", "HTTP/1.1", 0, "OK"},
      {"garbage", "garbage", 0, ""},
  };
  for (const Row& r : rows) {
    const THttpStatusLine s = ParseStatusLine(r.line);
    EXPECT_EQ(s.protocol, r.protocol) << r.line;
    EXPECT_EQ(s.code, r.code) << r.line;
    EXPECT_EQ(s.reason, r.reason) << r.line;
  }
}

// Only an HTTP/1.x status line answers our requests; the words are split at
// runs of blanks, never at a tab.
TEST(HttpParse, StatusLinesThatAnswerHttp) {
  const std::pair<std::string, bool> rows[] = {
      {"HTTP/1.1 200 OK", true},    {"HTTP/1.0 404 Not Found", true},
      {"HTTP/1.1 200", true},       {"HTTP/1.1 200 ", true},
      {"HTTP/1.1  200  OK", true},  {"HTTP/0.9 200 OK", true},
      {"HTTP/1.1 2 OK", false},     {"HTTP/1.1\t200 OK", false},
      {"HTTP/1.1 200\tOK", false},  {"HTP/1.1 200 OK", false},
      {"HTTPER/1.1 200 OK", false}, {"http/1.1 200 OK", false},
      {"HTTP/01.1 200 OK", false},  {"HTTP/11.1 200 OK", false},
      {"HTTP/1.01 200 OK", false},  {"HTTP/5.6 200 OK", false},
      {"HTTP/2 200", false},        {"RTSP/1.1 200 OK", false},
      {" HTTP/1.1 200 OK", false},  {"", false},
  };
  for (const auto& [line, valid] : rows) EXPECT_EQ(ParseStatusLine(line).valid, valid) << line;
}

TEST(THttpHeader, ResponseBlocksThatAreRefusedOrSkipped) {
  {
    // Empty lines before the status line carry nothing and are passed over.
    THttpHeader r;
    EXPECT_EQ(Feed(r, "\n\nHTTP/1.1 200 OK\nContent-Length: 3\n\n"), THttpHeader::TLineResult::EndOfHeaders);
    EXPECT_EQ(r.StatusCode, 200);
    EXPECT_EQ(r.ContentLength, 3);
  }
  {
    THttpHeader r;
    EXPECT_EQ(Feed(r, "ICE/1.1 200 OK\n\n"), THttpHeader::TLineResult::Error);
    EXPECT_EQ(r.StatusCode, 0);
    EXPECT_NE(r.ProtocolError().find("status line"), std::string::npos) << r.ProtocolError();
  }
  {
    // Two lengths that disagree: which one frames the body is a guess.
    THttpHeader r;
    EXPECT_EQ(Feed(r, "HTTP/1.1 200 OK\nContent-Length: 0\nContent-Length: 1\n\n"), THttpHeader::TLineResult::Error);
    EXPECT_FALSE(r.ProtocolError().empty());
  }
  {
    // The same length twice is one length.
    THttpHeader r;
    EXPECT_EQ(Feed(r, "HTTP/1.1 200 OK\nContent-Length: 7\ncontent-length:  7 \n\n"),
              THttpHeader::TLineResult::EndOfHeaders);
    EXPECT_EQ(r.ContentLength, 7);
  }
}

TEST(HttpParse, ChunkSizeLines) {
  const std::pair<std::string, int64_t> rows[] = {
      {"1a", 26},
      {"1A;name", 26},
      {"1a ; name=value", 26},
      {"0", 0},
      {"00000000000000010", 16},
      {"-5", -1},
      {"", -1},
      {";ext", -1},
      {"xyz", -1},
      {"1g", -1},
      {"fffffffffffffffff", -1},
      {"20000000000000", 9007199254740992},
      {"+5", -1},
  };
  for (const auto& [line, size] : rows) EXPECT_EQ(ParseChunkSizeLine(line), size) << line;
}

}  // namespace
}  // namespace lg
