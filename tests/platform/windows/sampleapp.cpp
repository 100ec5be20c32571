// A Windows program the scanner's tests and benchmark start:
//   sampleapp ready=<event> [windows=<count>] [hidden] [child=<event>]
// It opens its windows (shown unless hidden), starts a copy of itself with child=<event> as
// its ready event when asked, signals ready=<event> and runs until it is ended.
#include <windows.h>

#include <string>
#include <string_view>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring argument(int count, wchar_t **arguments, std::wstring_view name) {
    for (int i = 1; i < count; ++i) {
        const std::wstring_view text = arguments[i];
        if (text.starts_with(name)) {
            return std::wstring(text.substr(name.size()));
        }
    }
    return {};
}

void signal(const std::wstring &eventName) {
    if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str())) {
        SetEvent(event);
        CloseHandle(event);
    }
}

bool startChild(const std::wstring &readyEvent) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" ready=" + readyEvent;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

} // namespace

int main() {
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool hidden = false;
    for (int i = 1; i < count; ++i) {
        hidden = hidden || std::wstring_view(arguments[i]) == L"hidden";
    }
    const std::wstring windows = argument(count, arguments, L"windows=");
    const int windowCount = windows.empty() ? 1 : std::stoi(windows);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QolviSampleWindow";
    RegisterClassW(&windowClass);
    for (int i = 0; i < windowCount; ++i) {
        HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Sample", WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
        if (window == nullptr) {
            return 1;
        }
        if (!hidden) {
            ShowWindow(window, SW_SHOWNOACTIVATE);
        }
    }
    const std::wstring childReady = argument(count, arguments, L"child=");
    if (!childReady.empty() && !startChild(childReady)) {
        return 2;
    }
    signal(argument(count, arguments, L"ready="));
    LocalFree(arguments);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
