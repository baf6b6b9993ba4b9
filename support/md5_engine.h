// Which MD5 engine hashes this process's files: the one place it is chosen,
// on Linux and on Windows alike.
//
// Two kinds of engine compute the same digests (RFC 1321):
//   - the one-stream engine, the system's MD5 behind Md5Provider / Md5Hash
//     (md5.h): OpenSSL's libcrypto on Linux, CryptoAPI on Windows. It hashes
//     one file at a time, and so it is what a large file alone (large as
//     app/engine/large_file.h says) and a machine without AVX2 get;
//   - the lane engines behind Md5Lanes (md5_lanes.h): 8 or 16 files side by
//     side in the 32-bit lanes of SIMD registers, the same code in both builds
//     (x86-64 and 32-bit x86), several times the one-stream rate when there
//     are many files.
//
// Calling sequence (a hashing thread, app/engine/hashing_thread.cpp):
//
//   const Md5Engine engine = ChosenMd5Engine();   // decided once per process
//   if (engine == Md5Engine::OneStream)
//     Md5Provider provider; Md5Hash hash(provider); ... one file after another
//   else
//     Md5Lanes lanes(engine); ... up to lanes.width() files at once
//
// The choice: SUMVANE_MD5 (any letter case) names an engine to force: the
// one-stream engine by its system's name ("openssl" on Linux, "cryptoapi" on
// Windows; "onestream" on either), or "avx2", "avx2x16", "avx512". A lane
// engine this processor cannot run gives way to the best one it can. Without
// SUMVANE_MD5 (or with a name it does not know): the best lane engine the
// processor runs (Avx512, else Avx2x16), decided by CPUID, else OneStream.
#pragma once

namespace TesselLibrary {

// Avx2 is 8 lanes in one AVX2 register, Avx2x16 16 lanes in two side by
// side (faster: each register's steps fill the other's waits), Avx512 16
// lanes in one AVX-512F register.
enum class Md5Engine { OneStream, Avx2, Avx512, Avx2x16 };

// The engine for this process, decided at the first call.
Md5Engine ChosenMd5Engine();
// Whether this machine can run `engine` (OneStream always).
bool Md5EngineRuns(Md5Engine engine);
// The name SUMVANE_MD5 takes for `engine`: "avx2", "avx512", "avx2x16", and
// for OneStream the system's own ("openssl" or "cryptoapi").
const char* Md5EngineName(Md5Engine engine);
// The best lane engine this processor runs; OneStream where none runs.
Md5Engine BestLaneEngine();

}  // namespace TesselLibrary
