// MD5 from the system's cryptographic service: a provider context, and one
// hash object per file fed in file order.
#pragma once

#include <cstdint>
#include <memory>

namespace TesselLibrary {

struct Md5ProviderData;
struct Md5HashData;

class Md5Provider {
public:
    Md5Provider();  // acquires the context; ok() tells whether it worked
    ~Md5Provider();
    Md5Provider(const Md5Provider&) = delete;
    Md5Provider& operator=(const Md5Provider&) = delete;
    bool ok() const;

private:
    friend class Md5Hash;
    std::unique_ptr<Md5ProviderData> data_;
};

class Md5Hash {
public:
    explicit Md5Hash(const Md5Provider& provider);  // ok() false when no hash object
    ~Md5Hash();
    Md5Hash(const Md5Hash&) = delete;
    Md5Hash& operator=(const Md5Hash&) = delete;
    bool ok() const;
    bool Update(const std::uint8_t* bytes, std::uint32_t length);
    bool Final(std::uint8_t (&value)[16]);

private:
    std::unique_ptr<Md5HashData> data_;
};

}  // namespace TesselLibrary
