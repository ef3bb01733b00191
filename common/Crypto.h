// The cryptography the update trust needs, from the operating system's or a
// well-kept library's implementation (never written here): SHA-256 and
// ECDSA over the NIST P-256 curve. Crypto_win.cpp uses CNG (bcrypt.dll),
// Crypto_posix.cpp OpenSSL's libcrypto.
//
// Keys and signatures are raw fixed-size bytes: a public key is the curve
// point's X || Y (32 bytes each, big-endian), a private key the scalar d,
// a signature r || s. Every function may be called from any thread; a
// TSha256 object belongs to one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lg::crypto {

using TSha256Digest = std::array<uint8_t, 32>;
using TPublicKey = std::array<uint8_t, 64>;
using TPrivateKey = std::array<uint8_t, 32>;
using TSignature = std::array<uint8_t, 64>;

// Streaming SHA-256. A context that failed to start (out of resources)
// yields an all-zero digest, which matches nothing a publisher writes.
class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;
  void Update(const void* data, size_t size);
  // Finishes the digest; the context must not be updated afterwards.
  TSha256Digest Final();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// True when `signature` is a valid ECDSA P-256 signature of `digest` under
// `key`. False for every malformed input (a point off the curve, r or s out
// of range), never a crash.
bool VerifyP256(const TPublicKey& key, const TSha256Digest& digest, const TSignature& signature);

// Signing exists for the operator's publisher. False when the platform
// cannot sign (SigningSupported) or the key is not a valid pair.
bool SigningSupported();
bool GenerateP256(TPrivateKey& privateKey, TPublicKey& publicKey);
bool SignP256(const TPrivateKey& privateKey, const TPublicKey& publicKey, const TSha256Digest& digest,
              TSignature& signature);

}  // namespace lg::crypto
