// A Windows program the scanner's tests and benchmark start:
//   sampleapp ready=<event> [windows=<count>] [hidden] [child=<event>]
// It opens its windows (shown unless hidden), starts a copy of itself with child=<event> as
// its ready event when asked, signals ready=<event> and runs until it is ended.
#include <windows.h>

#include <string>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int main() {
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring ready;
    std::wstring childReady;
    int windowCount = 1;
    int show = SW_SHOWNOACTIVATE;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const std::wstring value = argument.substr(argument.find(L'=') + 1);
        if (argument.starts_with(L"ready=")) {
            ready = value;
        } else if (argument.starts_with(L"child=")) {
            childReady = value;
        } else if (argument.starts_with(L"windows=")) {
            windowCount = std::stoi(value);
        } else if (argument == L"hidden") {
            show = SW_HIDE;
        }
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.lpszClassName = L"QolviSampleWindow";
    RegisterClassW(&windowClass);
    for (int i = 0; i < windowCount; ++i) {
        ShowWindow(CreateWindowExW(0, windowClass.lpszClassName, L"Sample", WS_OVERLAPPEDWINDOW,
                                   CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr),
                   show);
    }
    if (!childReady.empty()) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\" ready=" + childReady;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &started)) {
            return 2;
        }
    }
    if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str())) {
        SetEvent(event);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
