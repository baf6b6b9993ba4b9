// The compression functions behind Md5Lanes, one per lane engine, each built
// for the instructions of its engine (x86-64 and 32-bit x86); only called
// where the processor has them (md5_engine.h decides), and only by
// md5_lanes.cpp.
//
// Calling sequence:
//
//   Md5LaneState state;                   // words a to d of each lane, set by the caller
//   Md5Compress16Avx2(state, from, stride, blocks, active);   // or another engine's
//   ... state now holds every active lane's chaining value after `blocks` blocks
#pragma once

#include <cstddef>
#include <cstdint>

namespace TesselLibrary {

// The MD5 state of 16 lanes: words a, b, c, d of lane l at state[0..3][l].
using Md5LaneState = std::uint32_t[4][16];

// Compresses `blocks` 64-byte blocks in every lane of the kernel's width:
// lane l reads its k-th block at from[l] + k * stride[l]. Only lanes whose
// bit is set in `active` take the result; the others keep their state (give
// them a readable block and a stride of 0).
using Md5LaneKernel = void (*)(Md5LaneState& state, const std::uint8_t* const* from, const std::size_t* stride,
                               std::size_t blocks, std::uint32_t active);

#if defined(__x86_64__) || defined(__i386__)
void Md5Compress8Avx2(Md5LaneState& state, const std::uint8_t* const* from, const std::size_t* stride,
                      std::size_t blocks, std::uint32_t active);
void Md5Compress16Avx2(Md5LaneState& state, const std::uint8_t* const* from, const std::size_t* stride,
                       std::size_t blocks, std::uint32_t active);
void Md5Compress16Avx512(Md5LaneState& state, const std::uint8_t* const* from, const std::size_t* stride,
                         std::size_t blocks, std::uint32_t active);
#endif

}  // namespace TesselLibrary
