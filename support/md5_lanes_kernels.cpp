// The MD5 compression function of RFC 1321 (section 3.4), written once over
// a vector of N 32-bit lanes with the compiler's vector extensions and built
// for each engine inside a function that names its instructions, so the one
// binary runs on any x86-64 and uses AVX2 or AVX-512F only where asked.
#include "md5_lanes_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cstring>

namespace TesselLibrary {

namespace {

template <unsigned N>
struct LaneVector;
template <>
struct LaneVector<8> {
    typedef std::uint32_t Type __attribute__((vector_size(32)));
};
template <>
struct LaneVector<16> {
    typedef std::uint32_t Type __attribute__((vector_size(64)));
};

// The four auxiliary functions, each in the form with the fewest operations.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
// a = b + ((a + f(b, c, d) + X[k] + T[i]) <<< s); a, the word and the
// constant are added first, since they do not wait for the previous step.
#define MD5_STEP(f, a, b, c, d, k, s, t)  \
    a = (a + (x[k] + t##u)) + f(b, c, d); \
    a = ((a << s) | (a >> (32 - s))) + b;
// The two halves of G have no bit in common, so they may be added one by
// one: the half without b, the newest word, is added before b is known.
#define MD5_STEP_G(a, b, c, d, k, s, t)                     \
    a = ((a + (x[k] + t##u)) + ((c) & ~(d))) + ((b) & (d)); \
    a = ((a << s) | (a >> (32 - s))) + b;

using Vector8 = LaneVector<8>::Type;

// Eight rows of eight words become eight columns: r[i][j] moves to r[j][i].
// Pairs of rows interleave by words, then by pairs of words, then by halves.
#define MD5_INTERLEAVE_32(a, b, lo, hi)                           \
    lo = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13); \
    hi = __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
#define MD5_INTERLEAVE_64(a, b, lo, hi)                           \
    lo = __builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13); \
    hi = __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15);
#define MD5_INTERLEAVE_128(a, b, lo, hi)                          \
    lo = __builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11); \
    hi = __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15);

[[gnu::always_inline]] inline void Transpose8(Vector8 (&r)[8]) {
    Vector8 t0, t1, t2, t3, t4, t5, t6, t7, u0, u1, u2, u3, u4, u5, u6, u7;
    MD5_INTERLEAVE_32(r[0], r[1], t0, t1)  // words 0 1 4 5 | 2 3 6 7 of rows 0, 1
    MD5_INTERLEAVE_32(r[2], r[3], t2, t3)
    MD5_INTERLEAVE_32(r[4], r[5], t4, t5)
    MD5_INTERLEAVE_32(r[6], r[7], t6, t7)
    MD5_INTERLEAVE_64(t0, t2, u0, u1)  // words 0 4 | 1 5 of rows 0 to 3
    MD5_INTERLEAVE_64(t1, t3, u2, u3)  // words 2 6 | 3 7 of rows 0 to 3
    MD5_INTERLEAVE_64(t4, t6, u4, u5)
    MD5_INTERLEAVE_64(t5, t7, u6, u7)
    MD5_INTERLEAVE_128(u0, u4, r[0], r[4])
    MD5_INTERLEAVE_128(u1, u5, r[1], r[5])
    MD5_INTERLEAVE_128(u2, u6, r[2], r[6])
    MD5_INTERLEAVE_128(u3, u7, r[3], r[7])
}

#undef MD5_INTERLEAVE_128
#undef MD5_INTERLEAVE_64
#undef MD5_INTERLEAVE_32

// The 16 words of each lane's block, word j of every lane in x[j]: each
// group of eight lanes loads its blocks as rows and transposes them.
template <unsigned N>
[[gnu::always_inline]] inline void LoadWords(typename LaneVector<N>::Type (&x)[16],
                                             const std::uint8_t* const (&at)[N]) {
    Vector8 column[N / 8][16];
#pragma GCC unroll 2
    for (unsigned group = 0; group < N / 8; ++group)
#pragma GCC unroll 2
        for (unsigned half = 0; half < 2; ++half) {
            Vector8 r[8];
#pragma GCC unroll 8
            for (unsigned i = 0; i < 8; ++i) std::memcpy(&r[i], at[8 * group + i] + 32 * half, sizeof r[i]);
            Transpose8(r);
#pragma GCC unroll 8
            for (unsigned j = 0; j < 8; ++j) column[group][8 * half + j] = r[j];
        }
#pragma GCC unroll 16
    for (unsigned j = 0; j < 16; ++j)
#pragma GCC unroll 2
        for (unsigned group = 0; group < N / 8; ++group)
            std::memcpy(reinterpret_cast<char*>(&x[j]) + sizeof(Vector8) * group, &column[group][j], sizeof(Vector8));
}

template <unsigned N>
[[gnu::always_inline]] inline void CompressLanes(Md5LaneState& state, const std::uint8_t* const* from,
                                                 const std::size_t* stride, std::size_t blocks, std::uint32_t active) {
    using V = typename LaneVector<N>::Type;
    V a, b, c, d;
    std::memcpy(&a, state[0], sizeof a);
    std::memcpy(&b, state[1], sizeof b);
    std::memcpy(&c, state[2], sizeof c);
    std::memcpy(&d, state[3], sizeof d);
    const V a0 = a, b0 = b, c0 = c, d0 = d;
    const std::uint8_t* at[N];
#pragma GCC unroll 16
    for (unsigned l = 0; l < N; ++l) at[l] = from[l];

    for (std::size_t block = 0; block < blocks; ++block) {
        V x[16];
        LoadWords<N>(x, at);
#pragma GCC unroll 16
        for (unsigned l = 0; l < N; ++l) at[l] += stride[l];
        const V aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(MD5_F, a, b, c, d, 0, 7, 0xd76aa478)
        MD5_STEP(MD5_F, d, a, b, c, 1, 12, 0xe8c7b756)
        MD5_STEP(MD5_F, c, d, a, b, 2, 17, 0x242070db)
        MD5_STEP(MD5_F, b, c, d, a, 3, 22, 0xc1bdceee)
        MD5_STEP(MD5_F, a, b, c, d, 4, 7, 0xf57c0faf)
        MD5_STEP(MD5_F, d, a, b, c, 5, 12, 0x4787c62a)
        MD5_STEP(MD5_F, c, d, a, b, 6, 17, 0xa8304613)
        MD5_STEP(MD5_F, b, c, d, a, 7, 22, 0xfd469501)
        MD5_STEP(MD5_F, a, b, c, d, 8, 7, 0x698098d8)
        MD5_STEP(MD5_F, d, a, b, c, 9, 12, 0x8b44f7af)
        MD5_STEP(MD5_F, c, d, a, b, 10, 17, 0xffff5bb1)
        MD5_STEP(MD5_F, b, c, d, a, 11, 22, 0x895cd7be)
        MD5_STEP(MD5_F, a, b, c, d, 12, 7, 0x6b901122)
        MD5_STEP(MD5_F, d, a, b, c, 13, 12, 0xfd987193)
        MD5_STEP(MD5_F, c, d, a, b, 14, 17, 0xa679438e)
        MD5_STEP(MD5_F, b, c, d, a, 15, 22, 0x49b40821)

        MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562)
        MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340)
        MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51)
        MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aa)
        MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105d)
        MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453)
        MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681)
        MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8)
        MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6)
        MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6)
        MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87)
        MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14ed)
        MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905)
        MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8)
        MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9)
        MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8a)

        MD5_STEP(MD5_H, a, b, c, d, 5, 4, 0xfffa3942)
        MD5_STEP(MD5_H, d, a, b, c, 8, 11, 0x8771f681)
        MD5_STEP(MD5_H, c, d, a, b, 11, 16, 0x6d9d6122)
        MD5_STEP(MD5_H, b, c, d, a, 14, 23, 0xfde5380c)
        MD5_STEP(MD5_H, a, b, c, d, 1, 4, 0xa4beea44)
        MD5_STEP(MD5_H, d, a, b, c, 4, 11, 0x4bdecfa9)
        MD5_STEP(MD5_H, c, d, a, b, 7, 16, 0xf6bb4b60)
        MD5_STEP(MD5_H, b, c, d, a, 10, 23, 0xbebfbc70)
        MD5_STEP(MD5_H, a, b, c, d, 13, 4, 0x289b7ec6)
        MD5_STEP(MD5_H, d, a, b, c, 0, 11, 0xeaa127fa)
        MD5_STEP(MD5_H, c, d, a, b, 3, 16, 0xd4ef3085)
        MD5_STEP(MD5_H, b, c, d, a, 6, 23, 0x04881d05)
        MD5_STEP(MD5_H, a, b, c, d, 9, 4, 0xd9d4d039)
        MD5_STEP(MD5_H, d, a, b, c, 12, 11, 0xe6db99e5)
        MD5_STEP(MD5_H, c, d, a, b, 15, 16, 0x1fa27cf8)
        MD5_STEP(MD5_H, b, c, d, a, 2, 23, 0xc4ac5665)

        MD5_STEP(MD5_I, a, b, c, d, 0, 6, 0xf4292244)
        MD5_STEP(MD5_I, d, a, b, c, 7, 10, 0x432aff97)
        MD5_STEP(MD5_I, c, d, a, b, 14, 15, 0xab9423a7)
        MD5_STEP(MD5_I, b, c, d, a, 5, 21, 0xfc93a039)
        MD5_STEP(MD5_I, a, b, c, d, 12, 6, 0x655b59c3)
        MD5_STEP(MD5_I, d, a, b, c, 3, 10, 0x8f0ccc92)
        MD5_STEP(MD5_I, c, d, a, b, 10, 15, 0xffeff47d)
        MD5_STEP(MD5_I, b, c, d, a, 1, 21, 0x85845dd1)
        MD5_STEP(MD5_I, a, b, c, d, 8, 6, 0x6fa87e4f)
        MD5_STEP(MD5_I, d, a, b, c, 15, 10, 0xfe2ce6e0)
        MD5_STEP(MD5_I, c, d, a, b, 6, 15, 0xa3014314)
        MD5_STEP(MD5_I, b, c, d, a, 13, 21, 0x4e0811a1)
        MD5_STEP(MD5_I, a, b, c, d, 4, 6, 0xf7537e82)
        MD5_STEP(MD5_I, d, a, b, c, 11, 10, 0xbd3af235)
        MD5_STEP(MD5_I, c, d, a, b, 2, 15, 0x2ad7d2bb)
        MD5_STEP(MD5_I, b, c, d, a, 9, 21, 0xeb86d391)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }

    // Lanes that were not asked for keep what they had.
    alignas(64) std::uint32_t maskWords[N];
    for (unsigned l = 0; l < N; ++l) maskWords[l] = (active >> l & 1u) ? ~0u : 0u;
    V keep;
    std::memcpy(&keep, maskWords, sizeof keep);
    a = (a & keep) | (a0 & ~keep);
    b = (b & keep) | (b0 & ~keep);
    c = (c & keep) | (c0 & ~keep);
    d = (d & keep) | (d0 & ~keep);
    std::memcpy(state[0], &a, sizeof a);
    std::memcpy(state[1], &b, sizeof b);
    std::memcpy(state[2], &c, sizeof c);
    std::memcpy(state[3], &d, sizeof d);
}

#undef MD5_STEP
#undef MD5_I
#undef MD5_H
#undef MD5_STEP_G
#undef MD5_F

}  // namespace

__attribute__((target("avx2"))) void Md5Compress8Avx2(Md5LaneState& state, const std::uint8_t* const* from,
                                                      const std::size_t* stride, std::size_t blocks,
                                                      std::uint32_t active) {
    CompressLanes<8>(state, from, stride, blocks, active);
}

__attribute__((target("avx2"))) void Md5Compress16Avx2(Md5LaneState& state, const std::uint8_t* const* from,
                                                       const std::size_t* stride, std::size_t blocks,
                                                       std::uint32_t active) {
    CompressLanes<16>(state, from, stride, blocks, active);
}

__attribute__((target("avx512f"))) void Md5Compress16Avx512(Md5LaneState& state, const std::uint8_t* const* from,
                                                            const std::size_t* stride, std::size_t blocks,
                                                            std::uint32_t active) {
    CompressLanes<16>(state, from, stride, blocks, active);
}

}  // namespace TesselLibrary

#endif  // __x86_64__ || __i386__
