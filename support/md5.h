// The one-stream MD5 engine: the system's own MD5 (OpenSSL's libcrypto on
// Linux, CryptoAPI on Windows), one file at a time. A provider context,
// fetched once per hashing thread, and a hash object fed in file order and
// started again for the next file. Which engine a process uses is chosen in
// md5_engine.h.
//
// Calling sequence:
//
//   Md5Provider provider;                 // once per thread; ok() false: no MD5 service
//   Md5Hash hash(provider);               // ok() false: no hash object
//   hash.Update(bytes, length); ...        // the file's bytes in order, any pieces
//   hash.Final(value);                    // its 16-byte digest
//   hash.Restart();                       // then the next file with the same hash
//
// Every call returns false when the service failed; the digest is then not
// to be used, and a Restart begins afresh.
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
    // Starts a new digest with the same provider, after Final or part-way.
    bool Restart();

private:
    std::unique_ptr<Md5HashData> data_;
    const Md5Provider& provider_;
};

}  // namespace TesselLibrary
