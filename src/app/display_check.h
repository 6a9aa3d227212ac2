#pragma once

namespace ov {

// Whether a window can be shown: Qt's platform plugin would abort the process where it
// cannot reach a display, so the loader looks first. True for a platform that needs no
// display (QT_QPA_PLATFORM=offscreen, minimal, vnc, ...), a Wayland socket that accepts a
// connection, or an X display ($DISPLAY, local socket or TCP) that does.
bool DisplayAvailable();

}  // namespace ov
