// Built on Linux for the Windows unit tests, which have no OpenSSL: writes
// OpenSSL's MD5 of every message the MD5 lanes are proven on
// (tests/unit/md5_lanes_workloads.h), for lanes 8 and 16 wide, one line each:
//   <width> <workload> <message> <32 lower-case hexadecimal digits>
//   openssl_digests <file>        exit 0: written
#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "md5_lanes_workloads.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    for (unsigned width : {8u, 16u}) {
        for (std::size_t k = 0; k < std::size(md5_workloads::kWorkloads); ++k) {
            const std::vector<md5_workloads::Bytes> messages = md5_workloads::MessagesOf(k, width);
            for (std::size_t i = 0; i < messages.size(); ++i) {
                unsigned char digest[EVP_MAX_MD_SIZE];
                unsigned length = 0;
                if (EVP_Digest(messages[i].data(), messages[i].size(), digest, &length, EVP_md5(), nullptr) != 1 ||
                    length != 16)
                    return 1;
                char hex[33];
                for (unsigned b = 0; b < 16; ++b) std::snprintf(hex + 2 * b, 3, "%02x", digest[b]);
                out << width << ' ' << k << ' ' << i << ' ' << hex << '\n';
            }
        }
    }
    out.close();
    return out ? 0 : 1;
}
