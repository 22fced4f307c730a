// Writes a phone's 3GP (H.263 picture, AMR-NB sound packed ten frames a sample) for
// scripts/support_table.sh:  make_phone_3gp RAW.h263 WIDTH HEIGHT FPS OUT.3gp
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/phone_3gp.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: make_phone_3gp RAW.h263 WIDTH HEIGHT FPS OUT.3gp\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string raw{std::istreambuf_iterator<char>(in), {}};
    const bool ok = qvtest::writePhone3gp(argv[5], raw, std::atoi(argv[2]), std::atoi(argv[3]),
                                          std::atoi(argv[4]));
    if (!ok) std::fprintf(stderr, "make_phone_3gp: no H.263 frames in %s\n", argv[1]);
    return ok ? 0 : 1;
}
