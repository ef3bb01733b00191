#include "update/ManifestSignature.h"

#include <chrono>

#include "common/Decimal.h"
#include "common/Sha256.h"

namespace lg {
namespace {

constexpr char kDomain[] = "lg-manifest-signature-v1";
constexpr size_t kMaxDigits = 18;  // fits in 64 bits with room to spare

void PutBigEndian(crypto::TSha256& sha, uint64_t value, int bytes) {
  uint8_t out[8];
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
  sha.Update(out, static_cast<size_t>(bytes));
}

// "key=" at `at`, then the value up to the next LF; `at` moves past the LF.
bool TakeLine(std::string_view text, size_t& at, std::string_view key, std::string_view& value) {
  if (text.substr(at, key.size()) != key || at + key.size() >= text.size() || text[at + key.size()] != '=')
    return false;
  const size_t start = at + key.size() + 1;
  const size_t end = text.find('\n', start);
  if (end == std::string_view::npos) return false;
  value = text.substr(start, end - start);
  at = end + 1;
  return true;
}

bool Decimal(std::string_view text, uint64_t& out) {
  int64_t v = 0;
  if (!ParseDecimal(text, TDecimalSign::None, 999999999999999999, v, kMaxDigits)) return false;
  out = static_cast<uint64_t>(v);
  return true;
}

}  // namespace

bool ParseManifestSignature(std::string_view text, TManifestSignature& out) {
  if (text.size() > kMaxSignatureFileBytes) return false;
  size_t at = 0;
  std::string_view sequence, expires, signature;
  if (!TakeLine(text, at, "sequence", sequence) || !TakeLine(text, at, "expires", expires) ||
      !TakeLine(text, at, "signature", signature) || at != text.size())
    return false;
  TManifestSignature parsed;
  if (!Decimal(sequence, parsed.Sequence) || !Decimal(expires, parsed.Expires) ||
      !ParseHexExact(signature, parsed.Signature.data(), parsed.Signature.size()))
    return false;
  out = parsed;
  return true;
}

std::string FormatManifestSignature(const TManifestSignature& signature) {
  return "sequence=" + std::to_string(signature.Sequence) + "\nexpires=" + std::to_string(signature.Expires) +
         "\nsignature=" + HexText(signature.Signature.data(), signature.Signature.size()) + "\n";
}

crypto::TSha256Digest ManifestSignedDigest(std::string_view name, uint64_t sequence, uint64_t expires,
                                           std::string_view manifest) {
  crypto::TSha256 sha;
  sha.Update(kDomain, sizeof kDomain);  // with its NUL
  PutBigEndian(sha, name.size(), 4);
  sha.Update(name.data(), name.size());
  PutBigEndian(sha, sequence, 8);
  PutBigEndian(sha, expires, 8);
  PutBigEndian(sha, manifest.size(), 8);
  sha.Update(manifest.data(), manifest.size());
  return sha.Final();
}

bool SignManifest(const crypto::TPrivateKey& privateKey, const crypto::TPublicKey& publicKey, std::string_view name,
                  std::string_view manifest, uint64_t sequence, uint64_t expires, TManifestSignature& out) {
  out.Sequence = sequence;
  out.Expires = expires;
  return crypto::SignP256(privateKey, publicKey, ManifestSignedDigest(name, sequence, expires, manifest),
                          out.Signature);
}

TTrustVerdict CheckManifestSignature(const crypto::TPublicKey& key, std::string_view name, std::string_view manifest,
                                     std::string_view signatureText, uint64_t lowestSequence, uint64_t now,
                                     TManifestSignature& parsed) {
  if (!ParseManifestSignature(signatureText, parsed)) return TTrustVerdict::Malformed;
  // The signature first: sequence and expiry mean nothing unsigned.
  if (!crypto::VerifyP256(key, ManifestSignedDigest(name, parsed.Sequence, parsed.Expires, manifest), parsed.Signature))
    return TTrustVerdict::BadSignature;
  if (parsed.Sequence < lowestSequence) return TTrustVerdict::Replayed;
  if (now > parsed.Expires) return TTrustVerdict::Expired;
  return TTrustVerdict::Accepted;
}

const char* TrustVerdictText(TTrustVerdict verdict) {
  switch (verdict) {
    case TTrustVerdict::Accepted: return "signature accepted";
    case TTrustVerdict::Missing: return "signature file missing";
    case TTrustVerdict::Malformed: return "signature file malformed";
    case TTrustVerdict::BadSignature: return "signature does not verify";
    case TTrustVerdict::Replayed: return "sequence lower than one accepted before (replayed manifest)";
    case TTrustVerdict::Expired: return "signature expired";
  }
  return "signature refused";
}

bool ParsePublicKeyText(std::string_view text, crypto::TPublicKey& out) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return ParseHexExact(text, out.data(), out.size());
}

std::string PublicKeyText(const crypto::TPublicKey& key) {
  return HexText(key.data(), key.size());
}

uint64_t UnixNow() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
  return seconds < 0 ? 0 : static_cast<uint64_t>(seconds);
}

}  // namespace lg
