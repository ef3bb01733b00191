// Public HTTP/1.1 response cases of two well-known parsers (tests/data/http,
// see PROVENANCE.txt there), each served byte for byte by the test peer and
// fetched by both clients: the document fetch and the downloader. Where a
// suite accepts a response, the body comes out as it says; where it refuses
// one, the fetch fails promptly (no stall timer) and leaves no file. The
// table below lists every case where our reading differs from what the
// suite's own verdict implies, and the two places where the suites disagree,
// each with the reason for the policy.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "Library/hDownload/THttpDownload.h"
#include "Library/hDownload/THttpGetDocument.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

const std::string kDataDir = std::string(LG_TEST_DATA_DIR) + "http/";
// Every case ends well within this, whatever it says; the downloader's
// stall timer (10 s) must never be what ends one.
constexpr int kCaseBoundMs = 2000;

enum class TOutcome {
  Body,       // success with exactly this body
  Refused,    // a clean failure: the response cannot be read as it stands
  BadStatus,  // read correctly, then refused by the status decision
  Redirect,   // a 301/302: its Location is what would be followed
};

struct TCase {
  std::string suite;  // "llhttp" or "http-parser"
  std::string file;
  bool suiteFails = false;
  int status = 0;  // of the first message, 0 when the suite never read one
  std::string body;
  std::string location;
  bool skipBody = false;  // the suite read the answer as bodiless (a HEAD answer)
  // What we expect, derived from the suite's verdict unless the table says
  // otherwise.
  TOutcome outcome = TOutcome::Refused;
  std::string why;
};

// Names the case in failure messages instead of a byte dump.
void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.suite << "/" << c.file;
}

struct TPolicy {
  TOutcome outcome;
  std::string body;  // for TOutcome::Body
  const char* why;
};

const char kBareLf[] = "bare LF ends a line (the socket's line rule); every reader splits there, so no header moves";
const char kSizeLine[] = "a chunk size ends at a blank or ';' and the rest of the line is ignored (the written rule)";

// Cases whose outcome is not simply "the suite's verdict". Suite verdicts:
// llhttp in its strict response mode, http-parser's expectations.
const std::map<std::string, TPolicy> kPolicies = {
    // Where the two suites disagree.
    {"http-parser/resp04_trailing_space_on_chunked_body.http",
     {TOutcome::Body, "This is the data in the first chunk\r\nand this is the second one\r\n", kSizeLine}},
    {"llhttp/transfer-encoding__trailing-space-on-chunked-body.http",
     {TOutcome::Body, "This is the data in the first chunk\r\nand this is the second one\r\n", kSizeLine}},
    {"http-parser/resp05_no_carriage_ret.http",
     {TOutcome::Body, "these headers are from http://news.ycombinator.com/", kBareLf}},
    {"llhttp/sample__no-carriage-ret.http",
     {TOutcome::Body, "these headers are from http://news.ycombinator.com/", kBareLf}},
    {"llhttp/invalid__invalid-space-after-start-line-only-lfs-present.http", {TOutcome::Body, "BODY\n\\", kBareLf}},
    {"llhttp/invalid__invalid-space-after-start-line-only-lfs-present-and-no-body.http", {TOutcome::Body, "", kBareLf}},
    {"http-parser/resp19_space_in_field_res.http",
     {TOutcome::Body, "<xml>hello</xml>",
      "a header line splits at the first run of ':' and blanks (the written rule): \"en-US\" is a header of its own"}},
    {"llhttp/sample__spaces-in-header-name.http",
     {TOutcome::Body, "<xml>hello</xml>",
      "a header line splits at the first run of ':' and blanks (the written rule): \"en-US\" is a header of its own"}},
    // llhttp refuses, we accept: leniencies the client's written rules have.
    {"llhttp/transfer-encoding__no-semicolon-before-chunk-extensions.http", {TOutcome::Body, "aa", kSizeLine}},
    {"llhttp/transfer-encoding__no-extension-after-semicolon.http",
     {TOutcome::Body, "aa", "chunk extensions are ignored unread, an empty one too"}},
    {"llhttp/transfer-encoding__unbalanced-chunk-extensions-quoting.http",
     {TOutcome::Body, "hello world", "chunk extensions are ignored unread; the line still ends at its CR LF"}},
    {"llhttp/invalid__invalid-space-after-start-line-extra-space-between-http-version-and-st.http",
     {TOutcome::Body, "", "the status line splits at runs of blanks (the written rule)"}},
    {"llhttp/connection__http-1-1-with-keep-alive-disabled-content-length.http",
     {TOutcome::Body, "2ad73",
      "bytes after a complete body are never read: every request has a connection of its own, closed after it"}},
    // The suites accept, we refuse.
    {"llhttp/sample__rtsp-response.http", {TOutcome::Refused, "", "an RTSP status line is no answer to HTTP"}},
    {"llhttp/sample__ice-response.http", {TOutcome::Refused, "", "an ICE status line is no answer to HTTP"}},
    {"llhttp/content-length__content-length-reset-when-no-body-is-received.http",
     {TOutcome::Refused, "", "the suite reads it as a HEAD answer; to our GET its body is 123 bytes and 38 arrive"}},
    {"llhttp/content-length__tabs-in-content-length-surrounding.http",
     {TOutcome::Refused, "", "the 42 bytes of body never arrive (the suite's message is incomplete too)"}},
    {"http-parser/err_content_length_2p64_div10_minus1.http",
     {TOutcome::Refused, "", "a 19-digit length is larger than any file we take, and no body follows"}},
    {"http-parser/err_chunk_size_2p64_div16_minus1.http",
     {TOutcome::Refused, "", "a chunk of 2^60 bytes is larger than any file we take, and no data follows"}},
    // The suite gives no body text for this one.
    {"http-parser/err_long_body_100000.http",
     {TOutcome::Body, std::string(100000, 'a'), "100000 bytes by Content-Length; what follows is not read"}},
};

// The suites' texts are Latin-1 bytes stored as JSON strings.
std::string Bytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out += static_cast<char>(c & 0xFF);
  return out;
}

const TzqJSONobject* AsObject(const TzqJSONbase* v) {
  return v && v->Kind() == jsObject ? static_cast<const TzqJSONobject*>(v) : nullptr;
}
const TzqJSONlist* AsList(const TzqJSONbase* v) {
  return v && v->Kind() == jsList ? static_cast<const TzqJSONlist*>(v) : nullptr;
}
std::string Text(const TzqJSONobject& o, const char* name) {
  const TzqJSONbase* v = o.Field(name);
  return v && v->Kind() == jsString ? Bytes(static_cast<const TzqJSONstring*>(v)->Value) : std::string();
}
int Int(const TzqJSONobject& o, const char* name) {
  const TzqJSONbase* v = o.Field(name);
  return v && v->Kind() == jsNumber ? static_cast<const TzqJSONnumber*>(v)->AsInt() : 0;
}
bool Bool(const TzqJSONobject& o, const char* name) {
  const TzqJSONbase* v = o.Field(name);
  return v && v->Kind() == jsBoolean && static_cast<const TzqJSONboolean*>(v)->Value;
}

std::string LocationOf(const TzqJSONobject& message) {
  const TzqJSONlist* headers = AsList(message.Field("headers"));
  for (int i = 0; headers && i < headers->Count(); ++i) {
    const TzqJSONlist* pair = AsList(headers->Child(i));
    if (!pair || pair->Count() != 2 || pair->Child(0)->Kind() != jsString || pair->Child(1)->Kind() != jsString)
      continue;
    if (Bytes(static_cast<const TzqJSONstring*>(pair->Child(0))->Value) == "Location")
      return Bytes(static_cast<const TzqJSONstring*>(pair->Child(1))->Value);
  }
  return std::string();
}

void Decide(TCase& c) {
  const auto policy = kPolicies.find(c.suite + "/" + c.file);
  if (policy != kPolicies.end()) {
    c.outcome = policy->second.outcome;
    c.body = policy->second.body;
    c.why = policy->second.why;
  } else if (c.suiteFails) {
    c.outcome = TOutcome::Refused;
    c.why = "refused by the suite";
  } else if (c.status == 200 && !c.skipBody) {
    c.outcome = TOutcome::Body;
    c.why = "accepted by the suite";
  } else if (c.status == 301 || c.status == 302) {
    c.outcome = TOutcome::Redirect;
    c.why = "a redirect: its Location is followed";
  } else {
    c.outcome = TOutcome::BadStatus;
    c.why = "status " + std::to_string(c.status) + " is no document";
  }
}

std::vector<TCase> LoadCases() {
  std::vector<TCase> cases;
  for (const std::string suite : {"llhttp", "http-parser"}) {
    auto doc = TzqJSONstreamed::ParseText(test::ReadFileBytes(kDataDir + suite + "/index.json"));
    const TzqJSONobject* root = AsObject(doc.get());
    const TzqJSONlist* list = root ? AsList(root->Field("cases")) : nullptr;
    for (int i = 0; list && i < list->Count(); ++i) {
      const TzqJSONobject* o = AsObject(list->Child(i));
      if (!o) continue;
      TCase c;
      c.suite = suite;
      c.file = Text(*o, "file");
      c.suiteFails = Bool(*o, "expect_error");
      if (suite == "llhttp") {
        // The lenient modes show what a flag of that parser allows; only the
        // strict mode is its verdict.
        if (!Bool(*o, "strict")) continue;
        const TzqJSONlist* messages = AsList(o->Field("messages"));
        const TzqJSONobject* first = messages && messages->Count() > 0 ? AsObject(messages->Child(0)) : nullptr;
        if (first) {
          c.status = Int(*first, "status_code");
          c.body = Text(*first, "body");
          c.location = LocationOf(*first);
          c.skipBody = Bool(*first, "skip_body");
        }
      } else {
        c.status = Int(*o, "status_code");
        c.body = Text(*o, "body");
        c.location = LocationOf(*o);
      }
      Decide(c);
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

class HttpConformance : public ::testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    const TCase& c = GetParam();
    test::THttpReply reply;
    reply.raw = test::ReadFileBytes(kDataDir + c.suite + "/" + c.file);
    ASSERT_FALSE(reply.raw.empty()) << c.file;
    server.Serve("/c.bin", reply);
  }
  test::THttpTestServer server;
};

TEST_P(HttpConformance, DocumentFetchReadsTheCaseAsDecided) {
  const TCase& c = GetParam();
  THttpGetDocument fetch;
  fetch.SetMaxRedirects(0);  // a case's Location points at the internet
  const uint32_t start = plat::TickCount();
  const bool ok = fetch.Get(server.Url("/c.bin"), "");
  const uint32_t elapsed = plat::TickCount() - start;
  EXPECT_LT(elapsed, static_cast<uint32_t>(test::ScaledMs(kCaseBoundMs))) << c.why;
  switch (c.outcome) {
    case TOutcome::Body:
      ASSERT_TRUE(ok) << c.why << ": " << fetch.FailureText();
      EXPECT_EQ(fetch.Document(), c.body) << c.why;
      break;
    case TOutcome::Refused:
      EXPECT_FALSE(ok) << c.why << ": got " << fetch.Document().size() << " bytes";
      EXPECT_FALSE(fetch.FailureText().empty());
      EXPECT_TRUE(fetch.Document().empty());
      break;
    case TOutcome::BadStatus:
    case TOutcome::Redirect:
      EXPECT_FALSE(ok) << c.why;
      EXPECT_EQ(fetch.Response().StatusCode, c.status) << fetch.FailureText();
      if (c.outcome == TOutcome::Redirect) {
        EXPECT_EQ(fetch.Response().GetHeader("Location"), c.location);
      }
      break;
  }
}

TEST_P(HttpConformance, DownloadEndsAsDecidedAndLeavesNoTemporaryFile) {
  const TCase& c = GetParam();
  if (c.outcome == TOutcome::Redirect) GTEST_SKIP() << "the download would follow the Location to the internet";
  test::TTempDir dir;
  std::atomic<int> completes{0}, fails{0};
  std::string error;
  {
    THttpDownload d(5);
    d.OnComplete = [&](THttpDownload&) { ++completes; };
    d.OnFailed = [&](THttpDownload&) { ++fails; };
    const uint32_t start = plat::TickCount();
    d.Start(server.Url("/c.bin"), dir.Path(), 0);
    while (completes + fails == 0 && plat::TickCount() - start < static_cast<uint32_t>(test::ScaledMs(kCaseBoundMs))) {
      d.CheckTimeout();
      plat::SleepMs(10);
    }
    error = d.ErrorText();
  }
  ASSERT_EQ(completes + fails, 1) << c.why << ": no end within " << kCaseBoundMs << " ms";
  if (c.outcome == TOutcome::Body) {
    ASSERT_EQ(completes, 1) << c.why << ": " << error;
    EXPECT_EQ(test::ReadFileBytes(dir.File("c.bin")), c.body) << c.why;
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"c.bin"});
  } else {
    EXPECT_EQ(fails, 1) << c.why;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{}) << c.why;
  }
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& info) {
  std::string name = info.param.suite + "_" + info.param.file.substr(0, info.param.file.rfind('.'));
  for (char& ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Suites, HttpConformance, ::testing::ValuesIn(LoadCases()), CaseName);

// The counts the report gives: every case is loaded and judged.
TEST(HttpConformanceTable, EveryCaseIsJudgedAndEveryPolicyNamesACase) {
  const std::vector<TCase> cases = LoadCases();
  EXPECT_EQ(cases.size(), 127u);  // 76 strict llhttp cases, 51 of http-parser
  std::map<std::string, int> seen;
  for (const TCase& c : cases) ++seen[c.suite + "/" + c.file];
  for (const auto& [file, policy] : kPolicies) EXPECT_EQ(seen[file], 1) << file << " is in no suite";
}

}  // namespace
}  // namespace lg
