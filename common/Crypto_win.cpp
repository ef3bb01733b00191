// Crypto.h on top of CNG (bcrypt.dll, part of every supported Windows and
// of Wine), so the launcher stays one static executable.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "common/Crypto.h"

namespace lg::crypto {
namespace {

bool Ok(NTSTATUS status) {
  return status >= 0;
}

// One provider handle per algorithm, opened on each use: opening is cheap
// next to the work and needs no shared state between threads.
class TProvider {
 public:
  explicit TProvider(LPCWSTR algorithm) {
    if (!Ok(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, 0))) handle_ = nullptr;
  }
  ~TProvider() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  TProvider(const TProvider&) = delete;
  TProvider& operator=(const TProvider&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class TKey {
 public:
  TKey() = default;
  ~TKey() {
    if (handle_) BCryptDestroyKey(handle_);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  BCRYPT_KEY_HANDLE* Out() { return &handle_; }
  BCRYPT_KEY_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

// BCRYPT_ECCKEY_BLOB header, X, Y and (for a private blob) d.
std::vector<UCHAR> KeyBlob(ULONG magic, const TPublicKey& publicKey, const TPrivateKey* privateKey) {
  BCRYPT_ECCKEY_BLOB header{magic, 32};
  std::vector<UCHAR> blob(sizeof header + publicKey.size() + (privateKey ? privateKey->size() : 0));
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, publicKey.data(), publicKey.size());
  if (privateKey) std::memcpy(blob.data() + sizeof header + publicKey.size(), privateKey->data(), privateKey->size());
  return blob;
}

bool Import(const TProvider& provider, LPCWSTR type, std::vector<UCHAR>& blob, TKey& key) {
  return provider.Get() && Ok(BCryptImportKeyPair(provider.Get(), nullptr, type, key.Out(), blob.data(),
                                                  static_cast<ULONG>(blob.size()), 0));
}

}  // namespace

struct TSha256::TImpl {
  TProvider provider{BCRYPT_SHA256_ALGORITHM};
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
  ~TImpl() {
    if (hash) BCryptDestroyHash(hash);
  }
};

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) {
  impl_->ok =
      impl_->provider.Get() && Ok(BCryptCreateHash(impl_->provider.Get(), &impl_->hash, nullptr, 0, nullptr, 0, 0));
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
  // BCryptHashData takes at most 4 GiB - 1 per call.
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (impl_->ok && size > 0) {
    const ULONG step = static_cast<ULONG>(size > 0x40000000u ? 0x40000000u : size);
    impl_->ok = Ok(BCryptHashData(impl_->hash, const_cast<PUCHAR>(bytes), step, 0));
    bytes += step;
    size -= step;
  }
}

TSha256Digest TSha256::Final() {
  TSha256Digest digest{};
  if (!impl_->ok || !Ok(BCryptFinishHash(impl_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
    digest.fill(0);
  impl_->ok = false;
  return digest;
}

bool VerifyP256(const TPublicKey& key, const TSha256Digest& digest, const TSignature& signature) {
  TProvider provider(BCRYPT_ECDSA_P256_ALGORITHM);
  std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, key, nullptr);
  TKey handle;
  if (!Import(provider, BCRYPT_ECCPUBLIC_BLOB, blob, handle)) return false;
  TSha256Digest d = digest;
  TSignature s = signature;
  return Ok(BCryptVerifySignature(handle.Get(), nullptr, d.data(), static_cast<ULONG>(d.size()), s.data(),
                                  static_cast<ULONG>(s.size()), 0));
}

bool SigningSupported() {
  return true;
}

bool GenerateP256(TPrivateKey& privateKey, TPublicKey& publicKey) {
  TProvider provider(BCRYPT_ECDSA_P256_ALGORITHM);
  TKey key;
  if (!provider.Get() || !Ok(BCryptGenerateKeyPair(provider.Get(), key.Out(), 256, 0)) ||
      !Ok(BCryptFinalizeKeyPair(key.Get(), 0)))
    return false;
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
  ULONG length = 0;
  if (!Ok(BCryptExportKey(key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                          &length, 0)) ||
      length != blob.size())
    return false;
  std::memcpy(publicKey.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), publicKey.size());
  std::memcpy(privateKey.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB) + 64, privateKey.size());
  SecureZeroMemory(blob.data(), blob.size());
  return true;
}

bool SignP256(const TPrivateKey& privateKey, const TPublicKey& publicKey, const TSha256Digest& digest,
              TSignature& signature) {
  TProvider provider(BCRYPT_ECDSA_P256_ALGORITHM);
  std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, publicKey, &privateKey);
  TKey key;
  const bool imported = Import(provider, BCRYPT_ECCPRIVATE_BLOB, blob, key);
  SecureZeroMemory(blob.data(), blob.size());
  if (!imported) return false;
  TSha256Digest d = digest;
  ULONG length = 0;
  if (!Ok(BCryptSignHash(key.Get(), nullptr, d.data(), static_cast<ULONG>(d.size()), signature.data(),
                         static_cast<ULONG>(signature.size()), &length, 0)) ||
      length != signature.size())
    return false;
  // CNG does not check that the point belongs to d: a signature that does
  // not verify under the published half is refused here.
  return VerifyP256(publicKey, digest, signature);
}

}  // namespace lg::crypto
