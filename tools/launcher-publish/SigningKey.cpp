#include "tools/launcher-publish/SigningKey.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "common/Sha256.h"
#include "update/ManifestSignature.h"

namespace lg::publish {
namespace fs = std::filesystem;
namespace {

constexpr const char* kHeader = "lg-update-signing-key p256\n";
constexpr size_t kMaxKeyFile = 1024;

fs::path FsPath(const std::string& gbk) {
  const std::string utf8 = plat::Utf8FromGbk(gbk);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

std::string SigningKeyText(const TSigningKey& key) {
  return std::string(kHeader) + "private=" + HexText(key.Private.data(), key.Private.size()) +
         "\npublic=" + PublicKeyText(key.Public) + "\n";
}

bool ParseSigningKey(const std::string& text, TSigningKey& key) {
  const std::string header = kHeader;
  if (text.size() > kMaxKeyFile || text.compare(0, header.size(), header) != 0) return false;
  const std::string expected = SigningKeyText({});  // the layout with zero digits
  if (text.size() != expected.size()) return false;
  const size_t privateAt = header.size() + 8;  // "private="
  const size_t publicAt = privateAt + 64 + 8;  // "\npublic="
  TSigningKey parsed;
  if (text.compare(header.size(), 8, "private=") != 0 || text.compare(privateAt + 64, 8, "\npublic=") != 0 ||
      text.back() != '\n' || !ParseHexExact(std::string_view(text).substr(privateAt, 64), parsed.Private.data(), 32) ||
      !ParseHexExact(std::string_view(text).substr(publicAt, 128), parsed.Public.data(), 64))
    return false;
  key = parsed;
  return true;
}

bool WriteNewKeyPair(const std::string& path, std::string& error) {
  if (!crypto::SigningSupported()) {
    error = "signing is not supported on this platform";
    return false;
  }
  std::error_code ec;
  const fs::path file = FsPath(path);
  const fs::path pub = FsPath(path + ".pub");
  if (fs::exists(file, ec) || fs::exists(pub, ec)) {
    error = plat::Utf8FromGbk(path) + " or its .pub exists already; not overwritten";
    return false;
  }
  TSigningKey key;
  if (!crypto::GenerateP256(key.Private, key.Public)) {
    error = "key generation failed";
    return false;
  }
  // Created empty and restricted before the secret goes in, so it is never
  // readable by others, not even for a moment.
  { std::ofstream create(file, std::ios::binary); }
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
  if (ec) {
    error = "cannot restrict " + plat::Utf8FromGbk(path) + ": " + ec.message();
    fs::remove(file, ec);
    return false;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << SigningKeyText(key);
  out.close();
  if (!out || !plat::WriteWholeFile(path + ".pub", PublicKeyText(key.Public) + "\n")) {
    error = "cannot write " + plat::Utf8FromGbk(path);
    return false;
  }
  return true;
}

bool LoadSigningKey(const std::string& path, TSigningKey& key, std::string& error) {
  std::string text;
  if (!plat::ReadWholeFile(path, text)) {
    error = "cannot read the signing key " + plat::Utf8FromGbk(path);
    return false;
  }
  if (!ParseSigningKey(text, key)) {
    error = plat::Utf8FromGbk(path) + " is not a signing key written by launcher-publish keygen";
    return false;
  }
  // Checked before anything is published: a pair that cannot sign would
  // leave a manifest without its signature.
  crypto::TSignature probe;
  if (!crypto::SignP256(key.Private, key.Public, crypto::TSha256Digest{}, probe)) {
    error = plat::Utf8FromGbk(path) + " does not hold a valid key pair";
    return false;
  }
  return true;
}

}  // namespace lg::publish
