#include "update/SignatureCheck.h"

#include <utility>

namespace lg {

TSignatureCheck::TSignatureCheck(const crypto::TPublicKey& key, std::string name, std::string_view manifest,
                                 std::string url, std::string address, uint64_t lowestSequence)
    : key_(key),
      name_(std::move(name)),
      manifest_(manifest),
      url_(std::move(url)),
      address_(std::move(address)),
      lowest_(lowestSequence),
      thread_([this] { Run(); }) {}

TSignatureCheck::~TSignatureCheck() {
  if (thread_.joinable()) {
    fetch_.Abort();
    thread_.join();
  }
}

// Thread entry: no exception leaves it; a check that could not run counts
// as a signature that never came.
void TSignatureCheck::Run() {
  try {
    received_ = fetch_.Get(url_ + kSignatureSuffix, address_);
    if (received_)
      verdict_ = CheckManifestSignature(key_, name_, manifest_, fetch_.Document(), lowest_, UnixNow(), parsed_);
  } catch (...) {
    received_ = false;
    verdict_ = TTrustVerdict::Missing;
  }
}

TTrustVerdict TSignatureCheck::Wait() {
  if (thread_.joinable()) thread_.join();
  return verdict_;
}

}  // namespace lg
