#include "common/Sha256.h"

#include <algorithm>

#include "common/MappedFile.h"
#include "common/Md5.h"

namespace lg {
std::string Sha256Hex(const crypto::TSha256Digest& digest) {
  return HexText(digest.data(), digest.size());
}

std::string Sha256OfText(std::string_view text) {
  crypto::TSha256 sha;
  sha.Update(text.data(), text.size());
  return Sha256Hex(sha.Final());
}

namespace {

// Feeds the file through the mapped windows to both digests (`md5` may be
// null); false when it cannot be read whole.
bool DigestFile(const std::string& path, TMd5* md5, crypto::TSha256& sha) {
  plat::TMappedFile file;
  if (!file.Open(path)) return false;
  for (int64_t offset = 0; offset < file.Size(); offset += kMd5FileWindow) {
    const size_t length = static_cast<size_t>(std::min<int64_t>(kMd5FileWindow, file.Size() - offset));
    const unsigned char* view = file.Map(offset, length);
    if (!view) return false;
    if (md5) md5->Update(view, length);
    sha.Update(view, length);
  }
  return true;
}

}  // namespace

std::string Sha256OfFile(const std::string& path) {
  crypto::TSha256 sha;
  if (!DigestFile(path, nullptr, sha)) return std::string(64, '0');
  return Sha256Hex(sha.Final());
}

void Md5AndSha256OfFile(const std::string& path, std::string& md5, std::string& sha256) {
  TMd5 m;
  crypto::TSha256 sha;
  if (!DigestFile(path, &m, sha)) {
    md5.assign(32, '0');
    sha256.assign(64, '0');
    return;
  }
  md5 = m.FinalHex();
  sha256 = Sha256Hex(sha.Final());
}

}  // namespace lg
