#include <strings.h>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/download_file.h"
#include "image/signed_download_file.h"

namespace ov {

std::string PathExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(dot);
}

bool ExtensionIs(const std::string& path, const char* extension) {
    return ::strcasecmp(PathExtension(path).c_str(), extension) == 0;
}

std::unique_ptr<BaseDownloadFile> CreateDownloadFile(const std::string& path, DownloadLog* trace) {
    // A FIFO would hang the run and a device never end: only a regular file is an image.
    if (FileExists(path) && !IsRegularFile(path))
        throw LoaderError(ErrorKind::Image,
                          "The firmware file is not a regular file: [" + path + "]");
    std::unique_ptr<BaseDownloadFile> file;
    if (ExtensionIs(path, ".bin"))
        file = std::make_unique<BinDownloadFile>(path);
    else if (ExtensionIs(path, ".hex"))
        file = std::make_unique<HexDownloadFile>(path);
    else if (ExtensionIs(path, ".sig"))
        file = std::make_unique<SigDownloadFile>(path);
    else if (ExtensionIs(path, ".sigx"))
        file = std::make_unique<SigxDownloadFile>(path);
    else if (ExtensionIs(path, ".sigx_1"))
        file = std::make_unique<Sigx_1DownloadFile>(path);
    else
        throw LoaderError(ErrorKind::Image, "暂不支持该文件路径下载:[" + path + "]");
    file->trace = trace;
    file->LoadImage();
    file->HoldImageFile();
    return file;
}

}  // namespace ov
