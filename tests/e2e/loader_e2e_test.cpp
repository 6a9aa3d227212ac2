// The real binaries: ov58xx-loader downloading into ov58xx-bootsim over a pseudo-terminal.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "support/test_files.h"

namespace ov {
namespace {

using e2e::Bin;
using e2e::Simulator;

class EndToEnd : public ::testing::Test {
  protected:
    int Loader(const std::string& args, std::string* output = nullptr,
               const std::string& lang = "C.UTF-8") {
        return test::RunCommand("cd '" + dir.Path() + "' && LC_ALL= LANG=" + lang +
                                    " OV58XX_LOADER_HOME='" + dir.File("home") + "' timeout 60 '" +
                                    Bin("src/app/ov58xx-loader") + "' " + args,
                                output);
    }
    test::TempDir dir;
};

TEST_F(EndToEnd, BinAndHexImagesDownloadAndVerify) {
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(20000, 3));
    Simulator sim("");
    ASSERT_EQ(sim.path.rfind("/dev/pts/", 0), 0u) << sim.path;
    std::string out;
    EXPECT_EQ(Loader("-f fw.bin -p " + sim.path, &out), 200);
    EXPECT_NE(out.find("File downloaded successfully !"), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_NE(sim.Finish().find("verdict: OK image verified (20000 bytes"), std::string::npos);
    EXPECT_NE(test::ReadText(dir.File("home/log/download.log")).find("初始化boot程序"),
              std::string::npos);
    EXPECT_NE(test::ReadText(dir.File("home/OVLoader.ini")).find("signAppFilePath=fw.bin"),
              std::string::npos);

    test::WriteFile(
        dir.File("fw.hex"),
        ":020000040100F9\r\n:10020000000102030405060708090A0B0C0D0E0F76\r\n:00000001FF\r\n");
    Simulator hexSim("--variant -1");
    EXPECT_EQ(Loader("-f fw.hex -p " + hexSim.path), 200);
    EXPECT_NE(hexSim.Finish().find("verdict: OK image verified (16 bytes"), std::string::npos);
}

TEST_F(EndToEnd, SilenceClosedLinesArgumentsAndPorts) {
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(30000, 4));
    {
        // The 500 ms time-out runs out during the pause before the port opens, so no byte may
        // reach the simulator: it stops waiting for a host after a second.
        Simulator silent("--silent-from 0", 1);
        EXPECT_EQ(Loader("-f fw.bin -p " + silent.path + " -t 500"), 108);
    }
    {
        Simulator closing("--close-after 5");
        EXPECT_EQ(Loader("-f fw.bin -p " + closing.path), 300 % 256);
    }
    std::string out;
    EXPECT_EQ(Loader("-f fw.bin -x 1", &out), 102);
    EXPECT_NE(out.find("参数解析失败:\n未知选项: -x\n\n使用 -h 或 --help 查看帮助信息"),
              std::string::npos)
        << out;
    EXPECT_EQ(Loader("-f missing.bin"), 102);
    EXPECT_EQ(Loader("-f fw.bin -p COM9"), 100);
    out.clear();
    EXPECT_EQ(Loader("-h", &out), 0);
    EXPECT_EQ(out.rfind("OV58xx Loader - 命令行使用说明\n=====", 0), 0u) << out;
    EXPECT_NE(out.find("  200 - 下载成功\n"), std::string::npos);
}

TEST_F(EndToEnd, LineNoiseResendsAndDebugOperation) {
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(6000, 6));
    test::RunCommand("mkdir -p '" + dir.File("home") + "'");
    test::WriteFile(dir.File("home/OVLoader.ini"), "[MainConfig Setting]\ndebug=1\n");
    // Noise before every reply, three resend requests for the third data frame and a slow chip:
    // the download still verifies.
    Simulator sim("--garbage 5 --resend 4@3=3 --delay 2");
    std::string out;
    EXPECT_EQ(Loader("-f fw.bin -p " + sim.path, &out), 200);
    EXPECT_NE(out.find("step4:Retransmission "), std::string::npos)
        << out;  // shown in debug operation
    EXPECT_NE(out.find("-----Send   :"), std::string::npos);
    EXPECT_NE(sim.Finish().find("verdict: OK image verified (6000 bytes"), std::string::npos);

    std::string help;
    EXPECT_EQ(test::RunCommand("'" + Bin("tools/bootsim/ov58xx-bootsim") + "' --help", &help), 0);
    for (const char* option :
         {"--stage", "--csn", "--variant", "--timing", "--esn", "--einfo", "--version", "--status",
          "--resend", "--bad-crc", "--silent-from", "--close-after", "--delay", "--garbage",
          "--efuse", "--write-key", "--baud"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(test::RunCommand("'" + Bin("tools/bootsim/ov58xx-bootsim") + "' --bogus 2>/dev/null"),
              2);
}

TEST_F(EndToEnd, ChineseUnderAChineseLocale) {
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(3000, 5));
    Simulator sim("");
    std::string out;
    EXPECT_EQ(Loader("-f fw.bin -p " + sim.path, &out, "zh_CN.UTF-8"), 200);
    EXPECT_NE(out.find("芯片阶段：测试阶段"), std::string::npos) << out;
    EXPECT_NE(out.find("文件下载成功！"), std::string::npos);
    EXPECT_NE(out.find("停止下载"), std::string::npos);
}

}  // namespace
}  // namespace ov
