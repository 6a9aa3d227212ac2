// The settings file as the input: its additional files and erase-only ranges are checked,
// prepared and downloaded with a fixed image. "@/" in it stands for the directory where
// a.bin and a.hex are made, so paths can name real files.
#include "fuzz_support.h"
#include "settings/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = ov::fuzz::WorkDirectory();
    static const bool prepared = [&] {
        ov::test::WriteBytes(dir + "fw.bin", ov::test::RandomBytes(3000, 1));
        ov::test::WriteBytes(dir + "a.bin", ov::test::RandomBytes(2000, 2));
        const std::string hex = ":0400000001020304F2\n:00000001FF\n";
        ov::test::WriteBytes(dir + "a.hex", std::vector<std::uint8_t>(hex.begin(), hex.end()));
        return true;
    }();
    (void)prepared;
    const std::string ini = dir + "OVLoader.ini";
    std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = text.find("@/"); at != std::string::npos;
         at = text.find("@/", at + dir.size()))
        text.replace(at, 2, dir);
    ov::test::WriteFile(ini, text);
    ov::ReadIniSection(ini, "MainConfig Setting");
    ov::ReadIniString(ini, "MainConfig Setting", "Com");
    ov::fuzz::RunAgainstChip(dir + "fw.bin", ini);
    return 0;
}
