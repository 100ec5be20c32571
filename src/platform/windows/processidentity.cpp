#include "processidentity.h"

#include <array>
#include <cwchar>
#include <shellapi.h>
#include <vector>

namespace Qolvi_Desktop_Agent::windows_backend {

namespace {

// Windows before 8 has no packaged processes, and so no such function.
using GetApplicationUserModelIdFunction = LONG(WINAPI *)(HANDLE, UINT32 *, PWSTR);

GetApplicationUserModelIdFunction getApplicationUserModelId() {
    static const auto function = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        FARPROC address =
            kernel != nullptr ? GetProcAddress(kernel, "GetApplicationUserModelId") : nullptr;
        return reinterpret_cast<GetApplicationUserModelIdFunction>(
            reinterpret_cast<void (*)()>(address));
    }();
    return function;
}

} // namespace

std::wstring packagedAppUserModelId(HANDLE process) {
    const GetApplicationUserModelIdFunction function = getApplicationUserModelId();
    if (function == nullptr) {
        return {};
    }
    // APPLICATION_USER_MODEL_ID_MAX_LENGTH, with its terminator.
    std::array<wchar_t, 130> buffer{};
    auto length = static_cast<UINT32>(buffer.size());
    if (function(process, &length, buffer.data()) != ERROR_SUCCESS || length == 0) {
        return {};
    }
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), length));
}

std::wstring windowAppUserModelId(HWND window) {
    IPropertyStore *store = nullptr;
    if (FAILED(SHGetPropertyStoreForWindow(window, IID_IPropertyStore,
                                           reinterpret_cast<void **>(&store)))) {
        return {};
    }
    std::wstring identifier;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(appUserModelIdKey, &value)) && value.vt == VT_LPWSTR &&
        value.pwszVal != nullptr) {
        identifier = value.pwszVal;
    }
    PropVariantClear(&value);
    store->Release();
    return identifier;
}

std::wstring originalFilename(const std::wstring &executablePath) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(executablePath.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<std::byte> block(size);
    if (!GetFileVersionInfoW(executablePath.c_str(), 0, size, block.data())) {
        return {};
    }
    struct Translation {
        WORD language;
        WORD codePage;
    };
    // The resource lists its languages; U.S. English in Unicode and in Windows-1252 are what
    // resources without that list are written in.
    std::vector<Translation> translations;
    Translation *listed = nullptr;
    UINT listedBytes = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void **>(&listed), &listedBytes)) {
        translations.assign(listed, listed + listedBytes / sizeof(Translation));
    }
    translations.push_back({0x0409, 1200});
    translations.push_back({0x0409, 1252});
    for (const Translation &translation : translations) {
        std::array<wchar_t, 64> query{};
        std::swprintf(query.data(), query.size(), L"\\StringFileInfo\\%04x%04x\\OriginalFilename",
                      translation.language, translation.codePage);
        wchar_t *value = nullptr;
        UINT characters = 0;
        if (VerQueryValueW(block.data(), query.data(), reinterpret_cast<void **>(&value),
                           &characters) &&
            value != nullptr && characters > 0) {
            std::wstring name(value, wcsnlen(value, characters));
            if (!name.empty()) {
                return name;
            }
        }
    }
    return {};
}

std::wstring executablePath(HANDLE process) {
    // Long paths can exceed MAX_PATH; a process image path never exceeds this.
    std::vector<wchar_t> buffer(32768);
    auto length = static_cast<DWORD>(buffer.size());
    if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) {
        return {};
    }
    return std::wstring(buffer.data(), length);
}

std::wstring fileNameOf(const std::wstring &path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring lowerCased(const std::wstring &text) {
    if (text.empty()) {
        return text;
    }
    const auto length = static_cast<int>(text.size());
    std::wstring lower(text.size(), L'\0');
    const int written = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.c_str(), length,
                                      lower.data(), length, nullptr, nullptr, 0);
    return written == length ? lower : text;
}

} // namespace Qolvi_Desktop_Agent::windows_backend
