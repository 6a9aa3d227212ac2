// Image files of every kind the loader opens (Intel HEX, signed containers, the ".sigx_1"
// split, raw binary), downloaded whole into the simulated chip. The first byte picks the kind.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kExtensions[] = {".hex", ".sig", ".sigx", ".sigx_1", ".bin", ".HEX"};
    if (size < 1) return 0;
    const std::string path = ov::fuzz::WorkDirectory() + "image" + kExtensions[data[0] % 6];
    ov::fuzz::WriteInput(path, data + 1, size - 1);
    ov::fuzz::RunAgainstChip(path, "");
    return 0;
}
