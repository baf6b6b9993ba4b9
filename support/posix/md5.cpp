// Md5Provider / Md5Hash, POSIX backend: OpenSSL libcrypto's EVP interface.
// The MD5 algorithm is fetched once per process and kept (never freed); each
// Md5Hash owns its own digest context.
#include "md5.h"

#include <openssl/evp.h>

namespace TesselLibrary {

namespace {

const EVP_MD* Md5Algorithm() {
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "MD5", nullptr);  // thread-safe init
    return algorithm;
}

}  // namespace

struct Md5ProviderData {
    const EVP_MD* algorithm = nullptr;
};

struct Md5HashData {
    EVP_MD_CTX* context = nullptr;
    ~Md5HashData() { EVP_MD_CTX_free(context); }
};

Md5Provider::Md5Provider() : data_(std::make_unique<Md5ProviderData>()) { data_->algorithm = Md5Algorithm(); }

Md5Provider::~Md5Provider() = default;

bool Md5Provider::ok() const { return data_->algorithm != nullptr; }

Md5Hash::Md5Hash(const Md5Provider& provider) : data_(std::make_unique<Md5HashData>()), provider_(provider) {
    if (!provider.ok()) return;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context) return;
    if (EVP_DigestInit_ex(context, provider.data_->algorithm, nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return;
    }
    data_->context = context;
}

Md5Hash::~Md5Hash() = default;

bool Md5Hash::ok() const { return data_->context != nullptr; }

bool Md5Hash::Update(const std::uint8_t* bytes, std::uint32_t length) {
    if (!data_->context) return false;
    if (length == 0) return true;
    return EVP_DigestUpdate(data_->context, bytes, length) == 1;
}

bool Md5Hash::Final(std::uint8_t (&value)[16]) {
    if (!data_->context) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(data_->context, digest, &length) != 1 || length != 16) return false;
    for (unsigned int i = 0; i < 16; ++i) value[i] = digest[i];
    return true;
}

bool Md5Hash::Restart() {
    if (!data_->context) return false;
    return EVP_DigestInit_ex(data_->context, provider_.data_->algorithm, nullptr) == 1;
}

}  // namespace TesselLibrary
