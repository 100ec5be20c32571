#pragma once

namespace Qolvi_Desktop_Agent {

// Starts Qt's accessibility bridge, before the window exists, so that it joins the session's
// accessibility bus whenever one runs, at the start or later, without the window waiting for
// that bus's launcher. Call once, after the application object is made.
void joinAccessibilityBus();

} // namespace Qolvi_Desktop_Agent
