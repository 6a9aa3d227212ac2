#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/download_file.h"
#include "log/download_log.h"
#include "ui/progress_view.h"

namespace ov {

// Everything one signing needs, as the window's fields or ov58xx-sign's options give it.
struct SignRequest {
    std::string privateKeyPath;
    std::string publicKeyPath;
    std::string firmwarePath;  // .bin or .hex
    std::string outputPath;
    std::string versionText = "FFFF";
    std::string esnText;
    bool esnHex = false;
    std::string syncTimeText = "100";
    std::string coefficientText = "2";
    bool sha256 = false;    // else SHA-512
    bool sigxForm = false;  // the signature covers the digest and the image length
    DownloadOptions options;
    bool debugMode = false;
};

// The image to sign: a ".hex" converted beside itself (base 0x01000200), a ".bin" as it is;
// anything else raises "The firmware file format error!".
std::string ImageFileToSign(const std::string& firmwarePath);

// The signed block: the digest, then for ".sigx" the image length, little-endian.
// In debug operation (`debugView` given) the block is shown in the log view.
std::vector<std::uint8_t> SignPlaintext(const std::string& imagePath, bool sha256, bool sigxForm,
                                        ProgressView* debugView = nullptr);

// Signs the request's image with a checked key pair of `keyBits` and writes the container.
// The file appears whole and verified, or not at all. The key operation notes its work in
// `log`; debug operation shows the signed block in `view`.
void SignToFile(const SignRequest& request, int keyBits, DownloadLog& log,
                ProgressView* view = nullptr);

// Writes the container for a computed signature; raises on range errors and file errors,
// leaving no file behind.
void WriteSignedImage(const std::vector<std::uint8_t>& signature, const std::string& imagePath,
                      const SignRequest& request, int keyBits);

}  // namespace ov
