#include "signing/signing_workflow.h"

#include <strings.h>

#include <algorithm>
#include <exception>

#include "common/loader_error.h"
#include "control/download_request.h"
#include "log/log_view.h"
#include "signing/rsa_keys.h"
#include "signing/sign_image.h"
#include "ui/ui_texts.h"

namespace ov {

void SigningWorkflow::CheckSignInputs() const {
    if (controls_.Text(ctl::kVersionEdit).empty())
        throw LoaderError("The firmware version cannot be empty!");
    if (controls_.Text(ctl::kSyncTimeEdit).empty())
        throw LoaderError("The sync time cannot be empty!");
    if (controls_.Text(ctl::kPrivateKeyStatic).empty())
        throw LoaderError("The private key file cannot be empty!");
    if (controls_.Text(ctl::kSignImageStatic).empty())
        throw LoaderError("The firmware file cannot be empty!");
    if (controls_.Text(ctl::kPublicKeyStatic).empty())
        throw LoaderError("The public key file cannot be empty!");
}

void SigningWorkflow::SetSignButtonState(bool done) {
    controls_.SetText(ctl::kSignButton, done ? Texts().sign : Texts().signing);
    controls_.SetEnabled(ctl::kSignButton, done);
    view_.AppendLogView(done ? Texts().signComplete : Texts().signStarted, kLogPlain);
}

void SigningWorkflow::SignCommand() {
    try {
        CheckSignInputs();
        const std::string firmware = controls_.Text(ctl::kSignImageStatic);
        const std::string defaultExtension = config_.GetDefExt();
        const auto slash = firmware.rfind('/');
        const std::string directory = slash == std::string::npos ? "" : firmware.substr(0, slash);
        const std::string name = firmware.substr(slash == std::string::npos ? 0 : slash + 1);
        const std::string base = name.substr(0, name.rfind('.'));
        const auto chosen =
            dialog_.AskSavePath(defaultExtension, base + defaultExtension, directory, kSignFilter);
        if (!chosen) return;

        const std::string output = *chosen;
        const auto outSlash = output.rfind('/');
        const auto dot = output.rfind('.');
        std::string extension =
            dot == std::string::npos || (outSlash != std::string::npos && dot < outSlash)
                ? "."
                : output.substr(dot);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        config_.SetDefExt(extension);
        // Signing goes on without the settings saved; the log says why.
        if (!WindowToSettings(config_, controls_, state_)) log_.Record(config_.LastError() + "\n");

        SignRequest request;
        request.privateKeyPath = controls_.Text(ctl::kPrivateKeyStatic);
        request.publicKeyPath = controls_.Text(ctl::kPublicKeyStatic);
        const KeyPairResult keys = ValidateKeyPair(request.privateKeyPath, request.publicKeyPath);
        if (!keys.valid) throw LoaderError("密钥验证失败: " + keys.message + "\n");
        SetSignButtonState(false);

        request.firmwarePath = firmware;
        request.outputPath = output;
        request.versionText = controls_.Text(ctl::kVersionEdit);
        request.esnText = controls_.Text(ctl::kEsnEdit);
        request.esnHex = controls_.Checked(ctl::kHexCheck);
        request.syncTimeText = controls_.Text(ctl::kSyncTimeEdit);
        request.coefficientText = controls_.Text(ctl::kCoefficientEdit);
        request.sha256 = controls_.Selection(ctl::kHashCombo) == 0;
        request.sigxForm = ::strcasecmp(config_.GetDefExt().c_str(), ".sigx") == 0;
        request.options = OptionsFromControls(controls_);
        request.debugMode = state_.debugMode;
        SignToFile(request, keys.bits, log_, &view_);
        SetSignButtonState(true);
    } catch (const LoaderError& e) {
        runEnd_.FinishRun(e.what(), kCodeFault, e.Cause());
        view_.AppendLogView("error", kLogPlain);
        SetSignButtonState(true);
    } catch (const std::exception& e) {
        runEnd_.FinishRun(e.what(), kCodeFault);
        view_.AppendLogView("error", kLogPlain);
        SetSignButtonState(true);
    }
}

}  // namespace ov
