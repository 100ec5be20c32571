#pragma once

#include <windows.h>

#include <string>

namespace Qolvi_Desktop_Agent::windows_backend {

// The names a process goes by, each empty when the process has none or will not tell. The
// scanner asks them in this order and takes the first that is not empty.

// The Application User Model ID of a packaged process.
[[nodiscard]] std::wstring packagedAppUserModelId(HANDLE process);
// The Application User Model ID a window declares for the taskbar's grouping.
[[nodiscard]] std::wstring windowAppUserModelId(HWND window);
// The OriginalFilename of the executable's version resource: the name it was built as, which
// a renamed copy keeps.
[[nodiscard]] std::wstring originalFilename(const std::wstring &executablePath);
// The full path of the process's executable.
[[nodiscard]] std::wstring executablePath(HANDLE process);

[[nodiscard]] std::wstring fileNameOf(const std::wstring &path);
// Windows compares these names without regard to case; so does the exam service, in lower case.
[[nodiscard]] std::wstring lowerCased(const std::wstring &text);

} // namespace Qolvi_Desktop_Agent::windows_backend
