#pragma once

#include <windows.h>

#include <propsys.h>
#include <string>

namespace Qolvi_Desktop_Agent::windows_backend {

// PKEY_AppUserModel_ID, spelled out so that no import library has to provide it.
inline constexpr PROPERTYKEY appUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

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
