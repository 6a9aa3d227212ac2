#include "control/download_request.h"

namespace ov {

DownloadOptions OptionsFromControls(const Controls& controls) {
    DownloadOptions options;
    options.fullErase = controls.Selection(ctl::kEraseCombo) == 1;
    options.reserveIv = controls.Selection(ctl::kIvCombo) == 1;
    options.unlockFlash = controls.Selection(ctl::kFlashCombo) == 1;
    return options;
}

}  // namespace ov
