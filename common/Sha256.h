// SHA-256 digests as the manifests carry them: 64 lowercase hexadecimal
// digits. The hashing itself is the platform's (common/Crypto.h); this file
// adds the text form and files. No shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Crypto.h"
#include "common/HexText.h"

namespace lg {

std::string Sha256Hex(const crypto::TSha256Digest& digest);
std::string Sha256OfText(std::string_view text);
// Read through the same mapped windows as Md5OfFile; 64 "0" digits when the
// file cannot be read.
std::string Sha256OfFile(const std::string& path);
// Both digests from one read of the file; both all "0" when it cannot be
// read.
void Md5AndSha256OfFile(const std::string& path, std::string& md5, std::string& sha256);

}  // namespace lg
