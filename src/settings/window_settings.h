#pragma once

#include "serial/port_discovery.h"
#include "settings/settings.h"
#include "ui/controls.h"

namespace ov {

// The dialog as a view of the settings: it shows them and the operator edits them there.

// Each value in its control, the port list rebuilt with the chosen port in it; the lists must
// hold their items already.
void ShowSettings(const Settings& settings, Controls& controls, const PortBackend& ports = {});

// The settings as the dialog holds them now: the values of its controls over `kept`, whose
// values the dialog does not show are kept.
Settings SettingsShown(const Controls& controls, Settings kept);

}  // namespace ov
