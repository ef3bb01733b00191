// TSignatureCheck: fetches a manifest's detached signature and checks it on
// a thread of its own, so that the update thread parses the manifest while
// the signature travels and the digest of the manifest's bytes is made.
//
// Threads: the constructor starts the check, Wait ends it; everything the
// check writes is read only after Wait. Fetch() may be aborted from any
// thread (it is the update thread's current fetch meanwhile). The manifest
// text must stay unchanged until Wait returns; the destructor aborts and
// waits for a check that was not waited for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "Library/hDownload/THttpGetDocument.h"
#include "update/ManifestSignature.h"

namespace lg {

class TSignatureCheck {
 public:
  // Checks "<url>.sig" (fetched from `address`, or the URL's host when
  // empty) for `manifest`, published as `name`, against `lowestSequence`.
  TSignatureCheck(const crypto::TPublicKey& key, std::string name, std::string_view manifest, std::string url,
                  std::string address, uint64_t lowestSequence);
  ~TSignatureCheck();
  TSignatureCheck(const TSignatureCheck&) = delete;
  TSignatureCheck& operator=(const TSignatureCheck&) = delete;

  THttpGetDocument& Fetch() { return fetch_; }
  // Waits for the check. Missing when the signature did not arrive.
  TTrustVerdict Wait();

  // After Wait.
  bool Received() const { return received_; }
  const TManifestSignature& Parsed() const { return parsed_; }
  uint64_t Lowest() const { return lowest_; }
  const std::string& FailureText() const { return fetch_.FailureText(); }

 private:
  void Run();

  const crypto::TPublicKey key_;
  const std::string name_;
  const std::string_view manifest_;
  const std::string url_;
  const std::string address_;
  const uint64_t lowest_;
  THttpGetDocument fetch_;
  // Written by the check's thread, read after it has ended.
  bool received_ = false;
  TTrustVerdict verdict_ = TTrustVerdict::Missing;
  TManifestSignature parsed_;
  std::thread thread_;  // last: started when everything above exists
};

}  // namespace lg
