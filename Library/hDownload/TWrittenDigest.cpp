#include "Library/hDownload/TWrittenDigest.h"

#include <algorithm>
#include <iterator>

namespace lg {
namespace {

constexpr size_t kReadBackBytes = 256 * 1024;

}  // namespace

TWrittenDigest::TWrittenDigest(bool withSha256) {
  if (withSha256) sha256_ = std::make_unique<crypto::TSha256>();
}

void TWrittenDigest::Written(plat::TFileStream& file, int64_t offset, const char* data, size_t size) {
  if (unknown_ || size == 0 || offset < 0) return;
  const int64_t end = offset + static_cast<int64_t>(size);
  if (offset < front_) {
    // Hashed bytes may have changed: only a read of the file can tell.
    GiveUp();
    return;
  }
  if (offset > front_) {
    NoteAhead(offset, end);
    return;
  }
  Hash(data, size);
  front_ = end;
  CatchUp(file);
}

void TWrittenDigest::Hash(const char* data, size_t size) {
  md5_.Update(data, size);
  if (sha256_) sha256_->Update(data, size);
}

void TWrittenDigest::NoteAhead(int64_t start, int64_t end) {
  auto next = ahead_.upper_bound(start);
  if (next != ahead_.begin()) {
    const auto before = std::prev(next);
    if (before->second >= start) {
      start = before->first;
      end = std::max(end, before->second);
      ahead_.erase(before);
    }
  }
  while (next != ahead_.end() && next->first <= end) {
    end = std::max(end, next->second);
    next = ahead_.erase(next);
  }
  ahead_.emplace(start, end);
  if (ahead_.size() > kMaxStretches) GiveUp();
}

void TWrittenDigest::CatchUp(plat::TFileStream& file) {
  while (!unknown_ && !ahead_.empty() && ahead_.begin()->first <= front_) {
    const int64_t end = ahead_.begin()->second;
    ahead_.erase(ahead_.begin());
    if (readBuffer_.empty()) readBuffer_.resize(kReadBackBytes);
    while (front_ < end) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(end - front_, kReadBackBytes));
      if (file.ReadAt(front_, readBuffer_.data(), want) != static_cast<int64_t>(want)) {
        GiveUp();
        return;
      }
      Hash(readBuffer_.data(), want);
      front_ += static_cast<int64_t>(want);
    }
  }
}

void TWrittenDigest::GiveUp() {
  unknown_ = true;
  ahead_.clear();
  readBuffer_ = {};
}

bool TWrittenDigest::Result(int64_t size, TFileDigests& out) {
  if (unknown_ || !ahead_.empty() || front_ != size) return false;
  unknown_ = true;  // the contexts are finished now
  out.Md5 = md5_.FinalHex();
  out.HasSha256 = sha256_ != nullptr;
  if (sha256_) out.Sha256 = sha256_->Final();
  return true;
}

}  // namespace lg
