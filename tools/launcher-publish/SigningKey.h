// The publisher's signing key files. `launcher-publish keygen OUT` writes
// the private key to OUT (readable and writable by its owner only) and the
// public key to OUT.pub: 128 hex digits, the value a launcher build takes as
// LG_UPDATE_PUBLIC_KEY and the headless updater as --public-key.
//
// Private key file (ASCII, LF):
//   lg-update-signing-key p256
//   private=<64 hex digits>
//   public=<128 hex digits>
#pragma once

#include <string>

#include "common/Crypto.h"

namespace lg::publish {

struct TSigningKey {
  crypto::TPrivateKey Private{};
  crypto::TPublicKey Public{};
};

// Generates a pair and writes both files; false with `error` set when the
// platform cannot sign, OUT exists already or a file cannot be written.
bool WriteNewKeyPair(const std::string& path, std::string& error);
bool LoadSigningKey(const std::string& path, TSigningKey& key, std::string& error);
std::string SigningKeyText(const TSigningKey& key);
bool ParseSigningKey(const std::string& text, TSigningKey& key);

}  // namespace lg::publish
