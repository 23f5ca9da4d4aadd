#pragma once

namespace fernhold {

// True when the Qt platform this process would use can open a display.
// Checked before the QApplication is made, which would otherwise abort.
[[nodiscard]] bool DisplayAvailable();

} // namespace fernhold
