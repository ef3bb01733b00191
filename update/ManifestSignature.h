// Detached signatures of the published manifests ("update.json.sig" beside
// "update.json", the same for "updateL.json" and "complete/release.json"),
// and the public key's text form. Pure functions of bytes: no file or
// socket, so the reader can be tested and fuzzed on its own.
//
// The signature file is ASCII, exactly three LF-ended lines:
//   sequence=<decimal, the publication's number, grows with each one>
//   expires=<decimal Unix time after which the signature no longer counts>
//   signature=<128 hex digits: ECDSA P-256 r || s>
// The signature covers the SHA-256 digest of
//   "lg-manifest-signature-v1" NUL, u32 name length, name, u64 sequence,
//   u64 expires, u64 manifest length, manifest bytes
// (integers big-endian; the name is the manifest's file name, so a
// signed "update.json" cannot stand in for "updateL.json").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Crypto.h"

namespace lg {

inline constexpr size_t kMaxSignatureFileBytes = 512;
inline constexpr const char* kSignatureSuffix = ".sig";

struct TManifestSignature {
  uint64_t Sequence = 0;
  uint64_t Expires = 0;
  crypto::TSignature Signature{};
};

enum class TTrustVerdict { Accepted, Missing, Malformed, BadSignature, Replayed, Expired };

// Strict: anything but the three lines above, in that order, with decimal
// numbers of at most 18 digits and no sign, within kMaxSignatureFileBytes.
bool ParseManifestSignature(std::string_view text, TManifestSignature& out);
std::string FormatManifestSignature(const TManifestSignature& signature);

crypto::TSha256Digest ManifestSignedDigest(std::string_view name, uint64_t sequence, uint64_t expires,
                                           std::string_view manifest);
// Signs `manifest` as published under `name`; false when signing failed.
bool SignManifest(const crypto::TPrivateKey& privateKey, const crypto::TPublicKey& publicKey, std::string_view name,
                  std::string_view manifest, uint64_t sequence, uint64_t expires, TManifestSignature& out);

// Whether the signature text accepts `manifest`: it parses, verifies under
// `key`, its sequence is at least `lowestSequence` and `now` (Unix seconds)
// has not passed its expiry. `parsed` receives what was read.
TTrustVerdict CheckManifestSignature(const crypto::TPublicKey& key, std::string_view name, std::string_view manifest,
                                     std::string_view signatureText, uint64_t lowestSequence, uint64_t now,
                                     TManifestSignature& parsed);
// A short English reason for the update log ("signature does not verify").
const char* TrustVerdictText(TTrustVerdict verdict);

// 128 hex digits (X || Y), optionally followed by whitespace: the public
// key file and the build's deployment value.
bool ParsePublicKeyText(std::string_view text, crypto::TPublicKey& out);
std::string PublicKeyText(const crypto::TPublicKey& key);

// Unix time in seconds from the system clock.
uint64_t UnixNow();

}  // namespace lg
