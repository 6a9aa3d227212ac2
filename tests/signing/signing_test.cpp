#include <gtest/gtest.h>

#include <memory>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "control/loader_window.h"
#include "e2e/e2e_support.h"
#include "image/signed_container.h"
#include "serial/serial_link.h"
#include "settings/main_config.h"
#include "signing/rsa_keys.h"
#include "signing/sign_image.h"
#include "signing/signing_workflow.h"
#include "signing/verify_signed.h"
#include "support/manual_host.h"
#include "support/recording_sinks.h"
#include "support/test_files.h"
#include "ui/controls_model.h"

namespace ov {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Keys made once with the openssl command for the whole suite.
class Keys {
  public:
    static Keys& Get() {
        static Keys keys;
        return keys;
    }
    std::string Private(const std::string& name) const { return dir.File(name + ".pem"); }
    std::string Public(const std::string& name) const { return dir.File(name + ".pub"); }
    test::TempDir dir;

  private:
    Keys() {
        for (const char* bits : {"1024", "2048", "3072", "4096"})
            Make(std::string("k") + bits, bits, "65537");
        Make("other2048", "2048", "65537");
        // The 2048-bit modulus with exponent 3 instead of 65537 is another key; a key with e = 3 of
        // its own:
        Make("e3", "2048", "3");
        Run("openssl req -new -x509 -key '" + Private("k2048") +
            "' -subj /CN=ov58xx -days 1 -out '" + dir.File("cert.pem") + "'");
    }
    void Make(const std::string& name, const std::string& bits, const std::string& e) {
        Run("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:" + bits +
            " -pkeyopt rsa_keygen_pubexp:" + e + " -out '" + Private(name) + "'");
        Run("openssl pkey -in '" + Private(name) + "' -pubout -out '" + Public(name) + "'");
    }
    static void Run(const std::string& command) {
        if (test::RunCommand(command + " 2>/dev/null") != 0)
            throw std::runtime_error("failed: " + command);
    }
};

TEST(RsaKeys, PairsSizesAndFilesAsTheChecksSayThem) {
    Keys& k = Keys::Get();
    const auto check = [&](const std::string& priv, const std::string& pub) {
        return ValidateKeyPair(priv, pub);
    };
    auto r = check(k.Private("k2048"), k.Public("k2048"));
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.bits, 2048);
    EXPECT_EQ(check(k.Private("k4096"), k.Public("k4096")).bits, 4096);
    EXPECT_EQ(check(k.Private("k2048"), k.Public("k4096")).message, "Key size mismatch");
    EXPECT_EQ(check(k.Private("k1024"), k.Public("k1024")).message, "Unsupported key size");
    EXPECT_EQ(check(k.Private("k3072"), k.Public("k3072")).message, "Unsupported key size");
    EXPECT_EQ(check(k.Private("k2048"), k.Public("other2048")).message,
              "Keys do not form a valid pair");
    EXPECT_EQ(check(k.Private("e3"), k.Public("k2048")).message, "Keys do not form a valid pair");
    EXPECT_EQ(check(k.Public("k2048"), k.Public("k2048")).message, "Failed to load private key");
    EXPECT_EQ(check(k.dir.File("cert.pem"), k.Public("k2048")).message,
              "Failed to load private key");
    EXPECT_EQ(check(k.dir.File("none.pem"), k.Public("k2048")).message,
              "Failed to open private key file");
    EXPECT_EQ(check(k.Private("k2048"), k.dir.File("none.pub")).message,
              "Failed to open public key file");
    EXPECT_EQ(check(k.Private("k2048"), k.Private("k2048")).message, "Failed to load public key");
    // A key under a pass phrase is refused, never asked for on the terminal.
    ASSERT_EQ(test::RunCommand("openssl pkey -in '" + k.Private("k2048") +
                               "' -aes256 -passout pass:secret -out '" + k.dir.File("locked.pem") +
                               "' </dev/null"),
              0);
    EXPECT_EQ(check(k.dir.File("locked.pem"), k.Public("k2048")).message,
              "Failed to load private key");

    const PublicKey parts = PublicKeyParts(k.Public("k2048"));
    EXPECT_EQ(parts.modulus.size(), 256u);
    EXPECT_EQ(parts.exponent, Bytes({0x00, 0x01, 0x00, 0x01}));
    EXPECT_EQ(PublicKeyParts(k.Public("e3")).exponent, Bytes({0, 0, 0, 3}));
    // A key that cannot be read says which file and why, with the system's reason apart.
    try {
        PublicKeyParts(k.dir.File("none.pub"));
        ADD_FAILURE() << "a missing public key was read";
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Failed to open public key file: No such file or directory: [" +
                      k.dir.File("none.pub") + "]");
        EXPECT_EQ(e.Cause(), k.dir.File("none.pub") + ": No such file or directory");
        EXPECT_EQ(e.Kind(), ErrorKind::Key);
    }
    try {
        PublicKeyParts(k.Private("k2048"));
        ADD_FAILURE() << "a private key was read as a public one";
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to load public key: [" + k.Private("k2048") + "]");
        EXPECT_NE(e.Cause().find(k.Private("k2048") + ": "), std::string::npos) << e.Cause();
    }
}

// A container laid out by hand from openssl's raw operation, to compare with the signer's.
Bytes ReferenceContainer(const std::string& priv, const std::string& pub, const std::string& image,
                         bool sha256, bool sigx, const test::TempDir& dir) {
    const Bytes data = test::ReadBytes(image);
    std::string digestHex;
    EXPECT_EQ(test::RunCommand("openssl dgst -" + std::string(sha256 ? "sha256" : "sha512") +
                                   " -r '" + image + "'",
                               &digestHex),
              0);
    Bytes block = test::FromHex(digestHex.substr(0, sha256 ? 64 : 128));
    if (sigx)
        for (int i = 0; i < 4; ++i)
            block.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
    std::string modulusText;
    test::RunCommand("openssl rsa -pubin -in '" + pub + "' -noout -modulus 2>/dev/null",
                     &modulusText);
    const Bytes modulus = test::FromHex(modulusText.substr(modulusText.find('=') + 1));
    const std::size_t s = modulus.size();
    Bytes padded(s - block.size(), 0);
    padded.insert(padded.end(), block.begin(), block.end());
    test::WriteBytes(dir.File("block.raw"), padded);
    EXPECT_EQ(test::RunCommand("openssl pkeyutl -decrypt -inkey '" + priv +
                               "' -pkeyopt rsa_padding_mode:none -in '" + dir.File("block.raw") +
                               "' -out '" + dir.File("sig.raw") + "' 2>/dev/null"),
              0);
    const Bytes signature = test::ReadBytes(dir.File("sig.raw"));
    EXPECT_EQ(signature.size(), s);

    auto le = [](Bytes& out, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    Bytes out = {0xAA, 0x01};
    le(out, s == 256 ? 285 : 541, 4);
    out.push_back(0x55);
    out.insert(out.end(), 16, 0x30);  // ESN "0": fifteen "0" pads and the "0"
    out.insert(out.end(), {100, 2, 0x01, 0x00});
    out.insert(out.end(), modulus.begin(), modulus.end());
    out.insert(out.end(), {0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
                           static_cast<std::uint8_t>(s == 256 ? 0 : 1)});
    out.insert(out.end(), {0xAA, 0x02});
    le(out, s + 16, 4);
    const std::size_t content = out.size();
    out.insert(out.end(), {0x55, static_cast<std::uint8_t>(sha256 ? 1 : 2)});
    le(out, 0x1234, 2);
    le(out, 0x01000200 | 0x02000000, 4);
    le(out, data.size(), 4);
    out.insert(out.end(), signature.begin(), signature.end());
    le(out, test::ReferenceCrc32Mpeg2(out.data() + content, out.size() - content), 4);
    out.insert(out.end(), {0xAA, 0x03});
    le(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST(Signing, OutputEqualsAContainerBuiltFromOpensslsRawOperation) {
    Keys& k = Keys::Get();
    test::TempDir dir;
    DownloadLog noLog;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(3000, 8));
    for (const char* key : {"k2048", "k4096"}) {
        for (bool sha256 : {true, false}) {
            for (bool sigx : {false, true}) {
                SignRequest r;
                r.privateKeyPath = k.Private(key);
                r.publicKeyPath = k.Public(key);
                r.firmwarePath = dir.File("fw.bin");
                r.outputPath = dir.File(sigx ? "out.sigx" : "out.sig");
                r.versionText = "1234";
                r.esnText = "0";
                r.sha256 = sha256;
                r.sigxForm = sigx;
                r.options.unlockFlash = 1;
                SignToFile(r, std::string(key) == "k2048" ? 2048 : 4096, noLog);
                const Bytes ours = test::ReadBytes(r.outputPath);
                EXPECT_EQ(ours, ReferenceContainer(r.privateKeyPath, r.publicKeyPath,
                                                   r.firmwarePath, sha256, sigx, dir))
                    << key << " sha256=" << sha256 << " sigx=" << sigx;
                // openssl recovers the signed block with the public key alone.
                const std::size_t s = std::string(key) == "k2048" ? 256 : 512;
                test::WriteBytes(dir.File("sig.bin"),
                                 Bytes(ours.begin() + 6 + 21 + s + 8 + 6 + 12,
                                       ours.begin() + 6 + 21 + s + 8 + 6 + 12 + s));
                ASSERT_EQ(test::RunCommand(
                              "openssl pkeyutl -verifyrecover -pubin -inkey '" + r.publicKeyPath +
                              "' -pkeyopt rsa_padding_mode:none -in '" + dir.File("sig.bin") +
                              "' -out '" + dir.File("recovered.bin") + "' 2>/dev/null"),
                          0);
                EXPECT_EQ(test::ReadBytes(dir.File("recovered.bin")),
                          test::ReadBytes(dir.File("block.raw")));
                SignToFile(r, s * 8, noLog);
                EXPECT_EQ(test::ReadBytes(r.outputPath), ours);  // deterministic
                EXPECT_TRUE(VerifySignedFile(r.outputPath, r.publicKeyPath).ok);
            }
        }
    }
}

class ScriptedDialog : public SaveDialog {
  public:
    std::optional<std::string> AskSavePath(const std::string& ext, const std::string& name,
                                           const std::string& directory,
                                           const std::string& filter) override {
        asked = {ext, name, directory, filter};
        return answer;
    }
    std::optional<std::string> answer;
    std::vector<std::string> asked;
};

// The window's Sign command, on a dialog model whose settings file is in a folder of its own.
class SignCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
        window.InitDialog(dir.Path());
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(2000, 9));
        controls.SetText(ctl::kPrivateKeyStatic, Keys::Get().Private("k2048"));
        controls.SetText(ctl::kPublicKeyStatic, Keys::Get().Public("k2048"));
        controls.SetText(ctl::kSignImageStatic, dir.File("fw.bin"));
    }
    void TearDown() override {
        unsetenv("OV58XX_LOADER_HOME");
        unsetenv("LC_ALL");
    }
    // The command, and the settings it saved on the disk.
    void Sign() {
        workflow.SignCommand();
        window.FlushSettings();
    }
    PortBackend NoPorts() const {
        PortBackend ports;
        ports.sysRoot = dir.File("sys");
        ports.devRoot = dir.File("dev");
        return ports;
    }

    test::TempDir dir;
    ControlsModel controls;
    test::RecordingObserver log;
    test::ManualHost host;
    SerialLinkFactory links;
    LoaderWindow window{host, controls, log, links, NoPorts()};
    MainConfig& config = window.config;
    ScriptedDialog dialog;
    SigningWorkflow workflow{window, dialog};
};

TEST_F(SignCommandTest, EmptyFieldsAreNamedFirmwareVersionFirst) {
    for (int id : {ctl::kVersionEdit, ctl::kSyncTimeEdit, ctl::kPrivateKeyStatic,
                   ctl::kSignImageStatic, ctl::kPublicKeyStatic})
        controls.SetText(id, "");
    Sign();
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"The firmware version cannot be empty!\r\n\r\n",
                                        "error\r\n\r\n", "Complete sign!\r\n\r\n"}));
    EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(SignCommandTest, FormFollowsTheChosenExtension) {
    dialog.answer = dir.File("OUT.SIGX");
    controls.Select(ctl::kHashCombo, 0);
    Sign();
    EXPECT_EQ(dialog.asked, (std::vector<std::string>{"", "fw", dir.Path(), kSignFilter}));
    EXPECT_EQ(config.GetDefExt(), ".sigx");
    EXPECT_EQ(VerifySignedFile(dir.File("OUT.SIGX"), Keys::Get().Public("k2048")).form, "sigx");
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"Signing...\r\n\r\n", "Complete sign!\r\n\r\n"}));
    EXPECT_EQ(controls.Text(ctl::kSignButton), "Sign");
    EXPECT_TRUE(controls.Enabled(ctl::kSignButton));

    dialog.answer = dir.File("plain");
    Sign();
    EXPECT_EQ(dialog.asked[0], ".sigx");  // the last choice is the default
    EXPECT_EQ(dialog.asked[1], "fw.sigx");
    EXPECT_EQ(config.GetDefExt(), ".");
    EXPECT_EQ(VerifySignedFile(dir.File("plain"), Keys::Get().Public("k2048")).form, "sig");
}

TEST_F(SignCommandTest, FieldValuesAndTheirLimits) {
    struct Case {
        std::string version, sync, esn;
        bool hex;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"FFFF", "255", "", false, ""},
        {"12345", "100", "ABC", true, ""},
        {"xyz", "-1", "12", false, ""},
        {"FFFF", "256", "", false, "sync timeout cannot exceed 255!"},
    };
    for (const auto& c : cases) {
        controls.SetText(ctl::kVersionEdit, c.version);
        controls.SetText(ctl::kSyncTimeEdit, c.sync);
        controls.SetText(ctl::kEsnEdit, c.esn);
        controls.SetChecked(ctl::kHexCheck, c.hex);
        const std::string out = dir.File("case.sig");
        ::unlink(out.c_str());
        dialog.answer = out;
        log.entries.clear();
        Sign();
        if (!c.error.empty()) {
            EXPECT_EQ(log.entries.at(1), c.error + "\r\n\r\n");
            EXPECT_FALSE(FileExists(out));  // no half-written file, not even an empty one
            continue;
        }
        const SignedFileInfo info = InspectSignedFile(out);
        EXPECT_EQ(info.version, c.version == "FFFF"    ? 0xFFFF
                                : c.version == "12345" ? 0x2345
                                                       : 0)
            << c.version;
        EXPECT_EQ(info.syncTime, c.sync == "-1" ? 0xFF : std::stoi(c.sync));
        if (c.hex) {
            EXPECT_EQ(info.esnHex, "3030303030303030303030303030ab0c");
        } else if (!c.esn.empty()) {
            EXPECT_EQ(info.esnHex, "30303030303030303030303030303132");
        }
    }
}

TEST_F(SignCommandTest, HexInputsCancelsAndFailedKeyChecks) {
    test::WriteFile(
        dir.File("fw.HEX"),
        ":020000040100F9\r\n:10020000000102030405060708090A0B0C0D0E0F76\r\n:00000001FF\r\n");
    controls.SetText(ctl::kSignImageStatic, dir.File("fw.HEX"));
    dialog.answer = dir.File("hex.sig");
    Sign();
    EXPECT_TRUE(FileExists(dir.File("fw.bin")));
    EXPECT_EQ(InspectSignedFile(dir.File("hex.sig")).imageLength, 16u);

    test::WriteFile(dir.File("fw.txt"), "x");
    controls.SetText(ctl::kSignImageStatic, dir.File("fw.txt"));
    log.entries.clear();
    Sign();
    EXPECT_EQ(log.entries.at(1), "The firmware file format error!\r\n\r\n");

    dialog.answer.reset();
    log.entries.clear();
    const std::string before = test::ReadText(dir.File("OVLoader.ini"));
    Sign();
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(test::ReadText(dir.File("OVLoader.ini")), before);

    controls.SetText(ctl::kSignImageStatic, dir.File("fw.bin"));
    controls.SetText(ctl::kPublicKeyStatic, Keys::Get().Public("k4096"));
    dialog.answer = dir.File("mismatch.sig");
    Sign();
    EXPECT_EQ(log.entries, (std::vector<std::string>{"密钥验证失败: Key size mismatch\n\r\n\r\n",
                                                     "error\r\n\r\n", "Complete sign!\r\n\r\n"}));
    EXPECT_TRUE(controls.Enabled(ctl::kSignButton));
    EXPECT_FALSE(FileExists(dir.File("mismatch.sig")));
}

TEST(SignTool, SignedImageDownloadsIntoAProductStageChip) {
    Keys& k = Keys::Get();
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(9000, 10));
    const std::string sign = e2e::Bin("tools/sign/ov58xx-sign");
    std::string out;
    ASSERT_EQ(
        test::RunCommand(sign + " --private '" + k.Private("k2048") + "' --public '" +
                         k.Public("k2048") + "' --image '" + dir.File("fw.bin") + "' --output '" +
                         dir.File("fw.sigx") + "' --hash sha256 --full-erase"),
        0);
    ASSERT_EQ(test::RunCommand(sign + " --private '" + k.Private("k2048") + "' --public '" +
                               k.Public("k2048") + "' --image '" + dir.File("fw.bin") +
                               "' --output '" + dir.File("fw.sig") + "'"),
              0);
    EXPECT_EQ(test::RunCommand(sign + " --verify '" + dir.File("fw.sigx") + "' --public '" +
                               k.Public("k2048") + "'"),
              0);
    EXPECT_EQ(test::RunCommand(sign + " --verify '" + dir.File("fw.sigx") + "' --public '" +
                               k.Public("other2048") + "'"),
              1);
    EXPECT_EQ(test::RunCommand(sign + " --verify '" + dir.File("none.sigx") + "' --public '" +
                               k.Public("k2048") + "' 2>/dev/null"),
              2);
    EXPECT_EQ(test::RunCommand(sign + " --inspect '" + dir.File("fw.sigx") + "' --json", &out), 0);
    EXPECT_NE(out.find("\"options\": \"full erase\""), std::string::npos) << out;
    EXPECT_EQ(test::RunCommand(sign + " --image x 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(sign + " --private '" + k.Private("k1024") + "' --public '" +
                               k.Public("k1024") + "' --image '" + dir.File("fw.bin") +
                               "' --output '" + dir.File("bad.sig") + "' 2>/dev/null"),
              1);

    for (const auto& [image, expectExit, expectText] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {"fw.sigx", 200, "File downloaded successfully !"},
             {"fw.sig", 200, "The signed firmware does not match the chip"}}) {
        e2e::Simulator sim("--stage 7777 --variant 1", 3);
        ASSERT_FALSE(sim.path.empty());
        std::string log;
        EXPECT_EQ(test::RunCommand("OV58XX_LOADER_HOME='" + dir.File("home") + "' LC_ALL=C " +
                                       e2e::Bin("src/app/ov58xx-loader") + " -f '" +
                                       dir.File(image) + "' -p " + sim.path + " 2>/dev/null",
                                   &log),
                  expectExit);
        EXPECT_NE(log.find(expectText), std::string::npos) << log;
        const std::string verdict = sim.Finish();
        if (image == "fw.sigx") {
            EXPECT_NE(verdict.find("verdict: OK"), std::string::npos) << verdict;
        }
    }
}

// ov58xx-sign signs fw.bin (65536 bytes) into fw.sigx for the tests below.
class SignedFileVerdicts : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(65536, 14));
        ASSERT_EQ(
            Sign("--private '" + Keys::Get().Private("k2048") + "' --image '" + dir.File("fw.bin") +
                 "' --output '" + dir.File("fw.sigx") + "' --hash sha256"),
            0);
    }
    int Sign(const std::string& args, std::string* out = nullptr) {
        return test::RunCommand(e2e::Bin("tools/sign/ov58xx-sign") + " --public '" +
                                    Keys::Get().Public("k2048") + "' " + args + " 2>&1",
                                out);
    }
    // One download into a product-stage chip that takes additional files; a hung run is cut
    // off after 20 s so that it fails the test instead of stalling it.
    int Download(const std::string& image, e2e::Simulator& sim, std::string* out) {
        return test::RunCommand("OV58XX_LOADER_HOME='" + dir.File("home") +
                                    "' LC_ALL=C timeout 20 '" + e2e::Bin("src/app/ov58xx-loader") +
                                    "' -f '" + dir.File(image) + "' -p " + sim.path +
                                    " 2>/dev/null",
                                out);
    }
    test::TempDir dir;
};

TEST_F(SignedFileVerdicts, AContainerWithAdditionalFilesLoadsVerifiesAndPassesVerify) {
    // The signed container, then a table of one additional file of 5000 bytes at 0x01100000.
    Bytes file = test::ReadBytes(dir.File("fw.sigx"));
    const Bytes extra = test::RandomBytes(5000, 15);
    file.insert(file.end(), {0xAA, 0x04, 0, 0, 0, 0, 1, 0xAA, 0x05, 0x92, 0x13, 0x00,
                             0x00});  // 5010-byte record
    file.insert(file.end(),
                {0x00, 0x00, 0x00, 0x00, 0x10, 0x01, 0x88, 0x13, 0x00, 0x00});  // address, length
    file.insert(file.end(), extra.begin(), extra.end());
    test::WriteBytes(dir.File("fw.sigx_1"), file);

    e2e::Simulator sim("--stage 7777 --variant 1", 5);
    std::string out;
    EXPECT_EQ(Download("fw.sigx_1", sim, &out), 200);
    EXPECT_NE(out.find("File downloaded successfully !"), std::string::npos) << out;
    const std::string verdict = sim.Finish();
    EXPECT_EQ(verdict.rfind("verdict: OK image verified (65536 bytes", 0), 0u) << verdict;
    EXPECT_NE(verdict.find("signature ok (sigx form)), 1 additional files verified"),
              std::string::npos)
        << verdict;

    std::string verified, inspected;
    EXPECT_EQ(Sign("--verify '" + dir.File("fw.sigx_1") + "'", &verified), 0);
    EXPECT_EQ(verified, dir.File("fw.sigx_1") + ": signature ok (sigx form)\n");
    EXPECT_EQ(Sign("--inspect '" + dir.File("fw.sigx_1") + "' --json", &inspected), 0);
    EXPECT_NE(inspected.find("\"image_length\": 65536, \"crc_ok\": true, \"problems\": []"),
              std::string::npos)
        << inspected;
}

TEST_F(SignedFileVerdicts, RecordsDisagreeingOnTheImageLengthAreRefusedBeforeTheLineIsOpened) {
    const Bytes signedFile = test::ReadBytes(dir.File("fw.sigx"));
    const std::size_t imageRecord = 6 + 285 + 6 + 272;  // its header: AA 03 and the length
    ASSERT_EQ(signedFile[imageRecord], 0xAA);
    ASSERT_EQ(signedFile[imageRecord + 1], 0x03);
    // The signature record keeps 65536; the image record says 64512 and holds as many bytes.
    Bytes shorter(signedFile.begin(), signedFile.end() - 1024);
    shorter[imageRecord + 3] = 0xFC;
    shorter[imageRecord + 4] = 0x00;
    test::WriteBytes(dir.File("shorter.sigx"), shorter);
    // The image record says 66560 and holds as many bytes.
    Bytes longer = signedFile;
    longer[imageRecord + 3] = 0x04;
    longer[imageRecord + 4] = 0x01;
    longer.insert(longer.end(), 1024, 0);
    test::WriteBytes(dir.File("longer.sigx"), longer);

    for (const char* name : {"shorter.sigx", "longer.sigx"}) {
        SCOPED_TRACE(name);
        e2e::Simulator sim("--stage 7777 --variant 1", 2);
        std::string out;
        EXPECT_EQ(Download(name, sim, &out), 44);  // a failed run's 300
        EXPECT_NE(out.find("\n\nThe sig file format error 3!\n\n"), std::string::npos) << out;
        EXPECT_EQ(sim.Finish(), "verdict: FAILED no host opened the line\n");

        std::string verified;
        EXPECT_EQ(Sign("--verify '" + dir.File(name) + "'", &verified), 1);
        EXPECT_EQ(verified, dir.File(name) + ": FAILED: The sig file format error 3!\n");
        EXPECT_EQ(VerifySignedFile(dir.File(name), Keys::Get().Public("k2048")).problems,
                  std::vector<std::string>{"The sig file format error 3!"});
    }
}

}  // namespace
}  // namespace ov
