// MD5 through CryptoAPI: a verify-only context of the default full RSA
// provider, and one CALG_MD5 hash object per file.
#include <windows.h>
#include <wincrypt.h>

#include "md5.h"

namespace TesselLibrary {

struct Md5ProviderData {
    HCRYPTPROV context = 0;
    ~Md5ProviderData() {
        if (context) ::CryptReleaseContext(context, 0);
    }
};

struct Md5HashData {
    HCRYPTHASH hash = 0;
    ~Md5HashData() {
        if (hash) ::CryptDestroyHash(hash);
    }
};

Md5Provider::Md5Provider() : data_(std::make_unique<Md5ProviderData>()) {
    HCRYPTPROV context = 0;
    if (::CryptAcquireContextW(&context, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
        data_->context = context;
}

Md5Provider::~Md5Provider() = default;

bool Md5Provider::ok() const { return data_->context != 0; }

Md5Hash::Md5Hash(const Md5Provider& provider) : data_(std::make_unique<Md5HashData>()), provider_(provider) {
    if (!provider.ok()) return;
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider.data_->context, CALG_MD5, 0, 0, &hash)) data_->hash = hash;
}

Md5Hash::~Md5Hash() = default;

bool Md5Hash::ok() const { return data_->hash != 0; }

bool Md5Hash::Update(const std::uint8_t* bytes, std::uint32_t length) {
    if (!data_->hash) return false;
    return ::CryptHashData(data_->hash, bytes, length, 0) != 0;
}

bool Md5Hash::Final(std::uint8_t (&value)[16]) {
    if (!data_->hash) return false;
    DWORD length = sizeof value;
    return ::CryptGetHashParam(data_->hash, HP_HASHVAL, value, &length, 0) != 0 && length == sizeof value;
}

bool Md5Hash::Restart() {
    // A CryptoAPI hash object cannot be reset: a new one takes its place.
    if (data_->hash) ::CryptDestroyHash(data_->hash);
    data_->hash = 0;
    if (!provider_.ok()) return false;
    HCRYPTHASH hash = 0;
    if (!::CryptCreateHash(provider_.data_->context, CALG_MD5, 0, 0, &hash)) return false;
    data_->hash = hash;
    return true;
}

}  // namespace TesselLibrary
