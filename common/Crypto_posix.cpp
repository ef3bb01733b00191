// Crypto.h on top of OpenSSL 3's libcrypto (EVP interfaces only; the
// deprecated EC_KEY family is not used).
#include "common/Crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <cstring>

namespace lg::crypto {
namespace {

constexpr const char* kGroup = "prime256v1";

struct TFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
  void operator()(BIGNUM* p) const { BN_clear_free(p); }
  void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
  void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
template <class T>
using TOwned = std::unique_ptr<T, TFree>;

// The library starts without reading the system's configuration file or
// loading its error texts: the checks must not depend on what a local
// configuration enables, nothing here prints the library's messages, and
// the two are most of its start-up time. Every entry point calls this
// first; OpenSSL makes the first call thread-safe.
void StartLibrary() {
  static const bool started =
      OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS, nullptr) == 1;
  (void)started;
}

// SHA-256 fetched once: EVP_sha256() would look the method up again for
// every file hashed.
const EVP_MD* Sha256Method() {
  static EVP_MD* const method = [] {
    StartLibrary();
    return EVP_MD_fetch(nullptr, "SHA256", nullptr);
  }();
  return method;
}

// The uncompressed point encoding: 0x04, X, Y.
std::array<uint8_t, 65> EncodedPoint(const TPublicKey& key) {
  std::array<uint8_t, 65> point{};
  point[0] = 0x04;
  std::memcpy(point.data() + 1, key.data(), key.size());
  return point;
}

// A key from its raw parts; `privateKey` null for a public key only.
TOwned<EVP_PKEY> ImportKey(const TPublicKey& publicKey, const TPrivateKey* privateKey) {
  TOwned<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
  if (!build) return nullptr;
  std::array<uint8_t, 65> point = EncodedPoint(publicKey);
  TOwned<BIGNUM> d;
  if (!OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, kGroup, 0) ||
      !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()))
    return nullptr;
  if (privateKey) {
    d.reset(BN_bin2bn(privateKey->data(), static_cast<int>(privateKey->size()), nullptr));
    if (!d || !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, d.get())) return nullptr;
  }
  TOwned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build.get()));
  TOwned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
  EVP_PKEY* key = nullptr;
  const int selection = privateKey ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY;
  if (EVP_PKEY_fromdata(ctx.get(), &key, selection, params.get()) != 1) return nullptr;
  return TOwned<EVP_PKEY>(key);
}

bool FixedBytes(const BIGNUM* n, uint8_t* out) {
  return n && BN_bn2binpad(n, out, 32) == 32;
}

}  // namespace

struct TSha256::TImpl {
  TOwned<EVP_MD_CTX> ctx;
  bool ok = false;
};

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) {
  StartLibrary();
  impl_->ctx.reset(EVP_MD_CTX_new());
  const EVP_MD* method = Sha256Method();
  impl_->ok = impl_->ctx && method && EVP_DigestInit_ex(impl_->ctx.get(), method, nullptr) == 1;
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
  if (impl_->ok && size > 0) impl_->ok = EVP_DigestUpdate(impl_->ctx.get(), data, size) == 1;
}

TSha256Digest TSha256::Final() {
  TSha256Digest digest{};
  unsigned int length = 0;
  if (!impl_->ok || EVP_DigestFinal_ex(impl_->ctx.get(), digest.data(), &length) != 1 || length != digest.size())
    digest.fill(0);
  impl_->ok = false;
  return digest;
}

bool VerifyP256(const TPublicKey& key, const TSha256Digest& digest, const TSignature& signature) {
  StartLibrary();
  TOwned<EVP_PKEY> pkey = ImportKey(key, nullptr);
  if (!pkey) return false;
  TOwned<ECDSA_SIG> sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int derLength = i2d_ECDSA_SIG(sig.get(), &der);
  if (derLength <= 0) return false;
  TOwned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
  const bool valid = ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
                     EVP_PKEY_verify(ctx.get(), der, static_cast<size_t>(derLength), digest.data(), digest.size()) == 1;
  OPENSSL_free(der);
  return valid;
}

bool SigningSupported() {
  return true;
}

bool GenerateP256(TPrivateKey& privateKey, TPublicKey& publicKey) {
  StartLibrary();
  TOwned<EVP_PKEY> pkey(EVP_EC_gen(kGroup));
  if (!pkey) return false;
  BIGNUM* d = nullptr;
  if (EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d) != 1) return false;
  TOwned<BIGNUM> owned(d);
  std::array<uint8_t, 65> point{};
  size_t length = 0;
  if (!FixedBytes(d, privateKey.data()) ||
      EVP_PKEY_get_octet_string_param(pkey.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(), &length) != 1 ||
      length != point.size() || point[0] != 0x04)
    return false;
  std::memcpy(publicKey.data(), point.data() + 1, publicKey.size());
  return true;
}

bool SignP256(const TPrivateKey& privateKey, const TPublicKey& publicKey, const TSha256Digest& digest,
              TSignature& signature) {
  StartLibrary();
  TOwned<EVP_PKEY> pkey = ImportKey(publicKey, &privateKey);
  if (!pkey) return false;
  TOwned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
  // A pair whose halves do not belong together would sign with d and
  // publish a point nobody can verify against.
  if (!ctx || EVP_PKEY_pairwise_check(ctx.get()) != 1 || EVP_PKEY_sign_init(ctx.get()) != 1) return false;
  unsigned char der[80];
  size_t derLength = sizeof der;
  if (EVP_PKEY_sign(ctx.get(), der, &derLength, digest.data(), digest.size()) != 1) return false;
  const unsigned char* p = der;
  TOwned<ECDSA_SIG> sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derLength)));
  if (!sig) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig.get(), &r, &s);
  return FixedBytes(r, signature.data()) && FixedBytes(s, signature.data() + 32);
}

}  // namespace lg::crypto
