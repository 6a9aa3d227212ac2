#include "control/download_request.h"

#include "common/loader_error.h"

namespace ov {

DownloadOptions OptionsOf(const Settings& settings) {
    DownloadOptions options;
    options.fullErase = settings.fullErase;
    options.reserveIv = settings.reserveIv;
    options.unlockFlash = settings.unlockFlash;
    return options;
}

DownloadRequest RequestFor(const Settings& settings) {
    DownloadRequest request;
    request.imagePath = settings.downloadImagePath;
    request.extraFilesFrom = ConfigFilePath();
    request.port = settings.port;
    request.options = OptionsOf(settings);
    request.dataTimeoutMs = settings.dataTimeoutMs;
    request.batch = settings.batch;
    request.continuousDownload = settings.continuousDownload;
    request.debugMode = settings.debugMode;
    request.usbVid = settings.usbVid;
    request.usbPid = settings.usbPid;
    return request;
}

DownloadRequest RequestFromSettings(MainConfig& config, const PortBackend& ports) {
    try {
        CompleteSettingsFile(config);
    } catch (const LoaderError&) {
        // What is in memory are the defaults all the same; the run goes on with them.
    }
    return RequestFor(SettingsFrom(config, ports));
}

}  // namespace ov
