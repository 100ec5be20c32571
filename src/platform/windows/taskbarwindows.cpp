#include "taskbarwindows.h"

namespace Qolvi_Desktop_Agent::windows_backend {

namespace {

bool showsOnTaskbar(HWND window) {
    if (!IsWindowVisible(window)) {
        return false;
    }
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if ((extendedStyle & WS_EX_APPWINDOW) != 0) {
        return true;
    }
    return GetWindow(window, GW_OWNER) == nullptr && (extendedStyle & WS_EX_TOOLWINDOW) == 0;
}

BOOL CALLBACK collect(HWND window, LPARAM windows) {
    if (showsOnTaskbar(window)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        reinterpret_cast<std::unordered_map<DWORD, HWND> *>(windows)->try_emplace(process, window);
    }
    return TRUE;
}

} // namespace

std::unordered_map<DWORD, HWND> taskbarWindowsByProcess() {
    std::unordered_map<DWORD, HWND> windows;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

} // namespace Qolvi_Desktop_Agent::windows_backend
