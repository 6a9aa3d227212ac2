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

void SigningWorkflow::CheckSignInputs(const Settings& settings) {
    if (settings.fileVersion.empty()) throw LoaderError("The firmware version cannot be empty!");
    if (settings.syncTime.empty()) throw LoaderError("The sync time cannot be empty!");
    if (settings.privateKeyPath.empty()) throw LoaderError("The private key file cannot be empty!");
    if (settings.signImagePath.empty()) throw LoaderError("The firmware file cannot be empty!");
    if (settings.publicKeyPath.empty()) throw LoaderError("The public key file cannot be empty!");
}

void SigningWorkflow::SetSignButtonState(bool done) {
    window_.controls.SetText(ctl::kSignButton, done ? Texts().sign : Texts().signing);
    window_.controls.SetEnabled(ctl::kSignButton, done);
    window_.view.AppendLogView(done ? Texts().signComplete : Texts().signStarted, kLogPlain);
}

void SigningWorkflow::SignCommand() {
    try {
        const Settings& settings = window_.ReadSettings();
        CheckSignInputs(settings);
        const std::string firmware = settings.signImagePath;
        const std::string defaultExtension = window_.config.GetDefExt();
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
        // Signing goes on when the settings cannot be saved; the log says why.
        window_.config.Keep({{MainConfig::kDefExt, extension}});
        window_.SaveSettings();

        SignRequest request;
        request.privateKeyPath = settings.privateKeyPath;
        request.publicKeyPath = settings.publicKeyPath;
        const KeyPairResult keys = ValidateKeyPair(request.privateKeyPath, request.publicKeyPath);
        if (!keys.valid) throw LoaderError("密钥验证失败: " + keys.message + "\n");
        SetSignButtonState(false);

        request.firmwarePath = firmware;
        request.outputPath = output;
        request.versionText = settings.fileVersion;
        request.esnText = settings.esn;
        request.esnHex = settings.esnHex;
        request.syncTimeText = settings.syncTime;
        request.coefficientText = settings.coefficient;
        request.sha256 = settings.hash == HashType::Sha256;
        request.sigxForm = ::strcasecmp(extension.c_str(), ".sigx") == 0;
        request.options = OptionsOf(settings);
        request.debugMode = settings.debugMode;
        SignToFile(request, keys.bits, window_.log, &window_.view);
        SetSignButtonState(true);
    } catch (const LoaderError& e) {
        window_.runEnd.FinishRun(e.what(), kCodeFault, e.Cause());
        window_.view.AppendLogView("error", kLogPlain);
        SetSignButtonState(true);
    } catch (const std::exception& e) {
        window_.runEnd.FinishRun(e.what(), kCodeFault);
        window_.view.AppendLogView("error", kLogPlain);
        SetSignButtonState(true);
    }
}

}  // namespace ov
