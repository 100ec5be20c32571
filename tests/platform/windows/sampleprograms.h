#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent::testing {

// Starts the sample programs built beside the test, and copies of them under other names, in
// a job that ends them all when this object goes.
class SamplePrograms {
public:
    SamplePrograms();
    ~SamplePrograms();
    SamplePrograms(const SamplePrograms &) = delete;
    SamplePrograms &operator=(const SamplePrograms &) = delete;

    // The path of a sample program built beside the running executable.
    [[nodiscard]] static std::filesystem::path built(const std::wstring &fileName);
    // A copy of `program` under `fileName`, in a folder of this object's.
    [[nodiscard]] std::filesystem::path copy(const std::filesystem::path &program,
                                             const std::wstring &fileName);

    // Starts `program` with `arguments` and returns its process ID once it (and the child it
    // was asked to start) are ready; 0 when it does not get ready within 30 s.
    [[nodiscard]] DWORD start(const std::filesystem::path &program, std::wstring arguments = {},
                              bool withChild = false);
    // Ends the process and returns once it has ended.
    void end(DWORD pid);

private:
    static constexpr DWORD readyTimeoutMs = 30'000;

    HANDLE m_job = nullptr;
    std::filesystem::path m_folder;
    std::vector<PROCESS_INFORMATION> m_started;
    unsigned m_events = 0;
};

} // namespace Qolvi_Desktop_Agent::testing
