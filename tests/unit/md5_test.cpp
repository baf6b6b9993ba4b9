// Md5Provider / Md5Hash: the RFC 1321 test suite, whole and in pieces.
#include "md5.h"
#include "rfc1321_suite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using TesselLibrary::Md5Hash;
using TesselLibrary::Md5Provider;

std::string Hex(const std::uint8_t (&value)[16]) {
    std::string text;
    char digits[3];
    for (std::uint8_t byte : value) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

std::string Digest(const Md5Provider& provider, const std::string& message, std::size_t piece) {
    Md5Hash hash(provider);
    EXPECT_TRUE(hash.ok());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    for (std::size_t offset = 0; offset < message.size(); offset += piece) {
        const std::size_t length = std::min(piece, message.size() - offset);
        EXPECT_TRUE(hash.Update(bytes + offset, static_cast<std::uint32_t>(length)));
    }
    std::uint8_t value[16] = {};
    EXPECT_TRUE(hash.Final(value));
    return Hex(value);
}

using rfc1321::kSuite;

TEST(Md5Test, Rfc1321TestSuite) {
    Md5Provider provider;
    ASSERT_TRUE(provider.ok());
    for (const rfc1321::Case& c : kSuite) EXPECT_EQ(Digest(provider, c.message, 1u << 20), c.digest) << c.message;
}

TEST(Md5Test, PiecesGiveTheSameValue) {
    Md5Provider provider;
    ASSERT_TRUE(provider.ok());
    for (const rfc1321::Case& c : kSuite)
        for (std::size_t piece : {1u, 3u, 7u, 64u})
            EXPECT_EQ(Digest(provider, c.message, piece), c.digest) << c.message << " in pieces of " << piece;
    std::string big;
    for (int i = 0; i < 100000; ++i) big += static_cast<char>(i * 31);
    EXPECT_EQ(Digest(provider, big, 4096), Digest(provider, big, big.size()));
    EXPECT_EQ(Digest(provider, big, 1000), Digest(provider, big, 65));
}

TEST(Md5Test, ZeroLengthUpdatesChangeNothing) {
    Md5Provider provider;
    Md5Hash hash(provider);
    ASSERT_TRUE(hash.ok());
    EXPECT_TRUE(hash.Update(nullptr, 0));
    EXPECT_TRUE(hash.Update(reinterpret_cast<const std::uint8_t*>("abc"), 3));
    EXPECT_TRUE(hash.Update(nullptr, 0));
    std::uint8_t value[16];
    ASSERT_TRUE(hash.Final(value));
    EXPECT_EQ(Hex(value), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Test, ManyHashesFromOneProviderAndManyProviders) {
    for (int i = 0; i < 100; ++i) {
        Md5Provider provider;
        ASSERT_TRUE(provider.ok());
        Md5Hash first(provider);
        Md5Hash second(provider);
        ASSERT_TRUE(first.ok());
        ASSERT_TRUE(second.ok());
        first.Update(reinterpret_cast<const std::uint8_t*>("a"), 1);
        second.Update(reinterpret_cast<const std::uint8_t*>("abc"), 3);
        std::uint8_t a[16], b[16];
        ASSERT_TRUE(second.Final(b));
        ASSERT_TRUE(first.Final(a));
        EXPECT_EQ(Hex(a), "0cc175b9c0f1b6a831c399e269772661");
        EXPECT_EQ(Hex(b), "900150983cd24fb0d6963f7d28e17f72");
    }
}

}  // namespace
