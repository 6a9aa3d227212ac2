// ov58xx-sign: signing for scripts and build pipelines, with the same code as the dialog's
// Sign button; --verify checks a signed file, --inspect shows its records.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "image/download_file.h"
#include "log/download_log.h"
#include "log/json.h"
#include "signing/rsa_keys.h"
#include "signing/sign_image.h"
#include "signing/verify_signed.h"

namespace {

// One line of JSON with a blank after every colon and comma, as scripts have read it from the
// first version on; the values are the JSON library's.
std::string SpacedJson(const ov::Json& value) {
    if (!value.is_object() && !value.is_array()) return ov::DumpJson(value);
    std::string out = value.is_object() ? "{" : "[";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ", ";
        first = false;
        if (value.is_object()) out += ov::DumpJson(it.key()) + ": ";
        out += SpacedJson(*it);
    }
    return out + (value.is_object() ? "}" : "]");
}

const char* const kUsage =
    "usage:\n"
    "  ov58xx-sign --private KEY.pem --public PUB.pem --image FW.bin|FW.hex --output "
    "OUT.sig|OUT.sigx\n"
    "              [--version HEX (default FFFF)] [--esn TEXT] [--esn-hex] [--sync-time N (default "
    "100)]\n"
    "              [--timeout-coefficient N (default 2)] [--hash sha256|sha512 (default sha512)]\n"
    "              [--full-erase] [--reserve-iv] [--unlock-flash]\n"
    "  ov58xx-sign --verify FILE --public PUB.pem\n"
    "  ov58xx-sign --inspect FILE [--json]\n"
    "An output ending in .sigx (any case) signs the digest and the image length; any other, the "
    "digest alone.\n"
    "Exit: 0 done (or verified), 1 signing failed (or the file does not verify), 2 usage error (or "
    "unreadable file).\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "ov58xx-sign: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

int Inspect(const std::string& path, bool json) {
    const ov::SignedFileInfo info = ov::InspectSignedFile(path);
    if (!info.readable) {
        std::fprintf(stderr, "ov58xx-sign: cannot read %s\n", path.c_str());
        return 2;
    }
    std::string options;
    for (const auto& name : info.OptionNames()) options += (options.empty() ? "" : ", ") + name;
    char word[16], version[8];
    std::snprintf(word, sizeof(word), "0x%08X", info.optionWord);
    std::snprintf(version, sizeof(version), "%04X", info.version);
    const std::string digest = info.digestType == 1   ? "sha256"
                               : info.digestType == 2 ? "sha512"
                                                      : "unknown";
    if (json) {
        ov::Json j;
        j["esn"] = info.esnHex;
        j["sync_time"] = info.syncTime;
        j["timeout_coefficient"] = info.timeoutCoefficient;
        j["key_bits"] = info.keyBits;
        j["exponent"] = info.exponent;
        j["modulus_sha256"] = info.modulusSha256;
        j["digest"] = digest;
        j["version"] = version;
        j["option_word"] = word;
        j["options"] = options;
        j["image_length"] = info.imageLength;
        j["crc_ok"] = info.crcOk;
        j["problems"] = info.layoutProblems;
        std::printf("%s\n", SpacedJson(j).c_str());
    } else {
        std::printf(
            "ESN:                 %s\nsync time:           %d\ntimeout coefficient: %d\nkey size:  "
            "          %d bits\n"
            "exponent:            %u\nmodulus SHA-256:     %s\ndigest:              %s\nversion:   "
            "          %s\n"
            "options:             %s (%s)\nimage length:        %u bytes\nCRC-32:              "
            "%s\n",
            info.esnHex.c_str(), info.syncTime, info.timeoutCoefficient, info.keyBits,
            info.exponent, info.modulusSha256.c_str(), digest.c_str(), version, word,
            options.empty() ? "none" : options.c_str(), info.imageLength,
            info.crcOk ? "ok" : "WRONG");
        for (const auto& p : info.layoutProblems)
            std::printf("problem:             %s\n", p.c_str());
    }
    return info.layoutProblems.empty() && info.crcOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
    const std::vector<std::string> valued = {
        "--private", "--public", "--image",     "--output",
        "--version", "--esn",    "--sync-time", "--timeout-coefficient",
        "--hash",    "--verify", "--inspect"};
    const std::vector<std::string> flagged = {"--esn-hex", "--full-erase", "--reserve-iv",
                                              "--unlock-flash", "--json"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::find(flagged.begin(), flagged.end(), a) != flagged.end()) {
            flags[a] = true;
        } else if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
            if (i + 1 >= argc) return Usage(a + " needs a value");
            values[a] = argv[++i];
        } else {
            return Usage("unknown argument: " + a);
        }
    }
    if (values.count("--inspect")) return Inspect(values["--inspect"], flags["--json"]);
    if (values.count("--verify")) {
        if (!values.count("--public")) return Usage("--verify needs --public");
        const ov::VerifyReport report =
            ov::VerifySignedFile(values["--verify"], values["--public"]);
        if (!report.readable) {
            std::fprintf(stderr, "ov58xx-sign: %s\n", report.Summary().c_str());
            return 2;
        }
        std::printf("%s: %s\n", values["--verify"].c_str(),
                    report.ok ? report.Summary().c_str() : ("FAILED: " + report.Summary()).c_str());
        return report.ok ? 0 : 1;
    }
    for (const char* required : {"--private", "--public", "--image", "--output"})
        if (!values.count(required)) return Usage(std::string(required) + " is required");
    const std::string hash = values.count("--hash") ? values["--hash"] : "sha512";
    if (hash != "sha256" && hash != "sha512") return Usage("--hash takes sha256 or sha512");

    ov::SignRequest request;
    request.privateKeyPath = values["--private"];
    request.publicKeyPath = values["--public"];
    request.firmwarePath = values["--image"];
    request.outputPath = values["--output"];
    if (values.count("--version")) request.versionText = values["--version"];
    request.esnText = values["--esn"];
    request.esnHex = flags["--esn-hex"];
    if (values.count("--sync-time")) request.syncTimeText = values["--sync-time"];
    if (values.count("--timeout-coefficient"))
        request.coefficientText = values["--timeout-coefficient"];
    request.sha256 = hash == "sha256";
    request.sigxForm = ov::ExtensionIs(request.outputPath, ".sigx");
    request.options.fullErase = flags["--full-erase"];
    request.options.reserveIv = flags["--reserve-iv"];
    request.options.unlockFlash = flags["--unlock-flash"];
    try {
        const ov::KeyPairResult keys =
            ov::ValidateKeyPair(request.privateKeyPath, request.publicKeyPath);
        if (!keys.valid) throw std::runtime_error("密钥验证失败: " + keys.message);
        ov::DownloadLog noLog;  // a script's signing keeps no log file
        ov::SignToFile(request, keys.bits, noLog);
    } catch (const std::exception& e) {
        std::string message = e.what();
        while (!message.empty() && message.back() == '\n') message.pop_back();
        std::fprintf(stderr, "ov58xx-sign: %s\n", message.c_str());
        return 1;
    }
    std::printf("signed %s -> %s (%s form)\n", request.firmwarePath.c_str(),
                request.outputPath.c_str(), request.sigxForm ? "sigx" : "sig");
    return 0;
}
