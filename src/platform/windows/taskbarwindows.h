#pragma once

#include <windows.h>

#include <unordered_map>

namespace Qolvi_Desktop_Agent::windows_backend {

// The windows the taskbar shows (visible top-level windows that no other window owns and that
// are not tool windows, or that ask for a taskbar button), one per process: the first found.
[[nodiscard]] std::unordered_map<DWORD, HWND> taskbarWindowsByProcess();

} // namespace Qolvi_Desktop_Agent::windows_backend
