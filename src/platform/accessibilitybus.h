#pragma once

namespace Qolvi_Desktop_Agent {

// Connects the application on X11, before its window exists, to the accessibility bus that the
// session's org.a11y.Bus names, when one runs and assistive technology is wanted, so that Qt's
// accessibility bridge joins that bus. Waits a second at most for the session's answers.
void connectAccessibilityBus();

} // namespace Qolvi_Desktop_Agent
