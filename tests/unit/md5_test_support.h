// The digest of some bytes as a summary records it, made by the system's
// MD5 in one piece: what a test compares a digest of the program with.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "md5.h"

namespace md5_test {

// Upper-case hexadecimal, 32 digits.
inline std::string Digits(const std::string& bytes) {
    TesselLibrary::Md5Provider provider;
    TesselLibrary::Md5Hash hash(provider);
    std::uint8_t value[16] = {};
    EXPECT_TRUE(
        hash.Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size())));
    EXPECT_TRUE(hash.Final(value));
    // Spelled here, not by the program's own formatter, which the digests
    // compared with this come from.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    for (const std::uint8_t v : value) digits += {kDigits[v >> 4], kDigits[v & 15]};
    return digits;
}

}  // namespace md5_test
