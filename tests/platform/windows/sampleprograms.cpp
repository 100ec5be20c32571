#include "sampleprograms.h"

namespace Qolvi_Desktop_Agent::testing {

namespace fs = std::filesystem;

SamplePrograms::SamplePrograms()
    : m_job(CreateJobObjectW(nullptr, nullptr))
    , m_folder(fs::temp_directory_path() /
               (L"qolvi-samples-" + std::to_wstring(GetCurrentProcessId()))) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    fs::create_directories(m_folder);
}

SamplePrograms::~SamplePrograms() {
    for (const PROCESS_INFORMATION &started : m_started) {
        end(started.dwProcessId);
        CloseHandle(started.hProcess);
    }
    CloseHandle(m_job);
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

fs::path SamplePrograms::built(const std::wstring &fileName) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / fileName;
}

fs::path SamplePrograms::copy(const fs::path &program, const std::wstring &fileName) {
    fs::copy_file(program, m_folder / fileName, fs::copy_options::overwrite_existing);
    return m_folder / fileName;
}

DWORD SamplePrograms::start(const fs::path &program, std::wstring arguments, bool withChild) {
    const std::wstring prefix = L"qolvi-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    const std::wstring readyName = prefix + std::to_wstring(++m_events);
    const std::wstring childName = prefix + std::to_wstring(++m_events);
    HANDLE ready[] = {CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()),
                      CreateEventW(nullptr, TRUE, FALSE, childName.c_str())};
    std::wstring commandLine = L"\"" + program.wstring() + L"\" ready=" + readyName +
                               (withChild ? L" child=" + childName : L"") + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    DWORD pid = 0;
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &started)) {
        // In the job before it runs, so that the child it starts is in the job too.
        AssignProcessToJobObject(m_job, started.hProcess);
        ResumeThread(started.hThread);
        CloseHandle(started.hThread);
        m_started.push_back(started);
        if (WaitForMultipleObjects(withChild ? 2 : 1, ready, TRUE, readyTimeoutMs) ==
            WAIT_OBJECT_0) {
            pid = started.dwProcessId;
        }
    }
    CloseHandle(ready[0]);
    CloseHandle(ready[1]);
    return pid;
}

void SamplePrograms::end(DWORD pid) {
    for (const PROCESS_INFORMATION &started : m_started) {
        if (started.dwProcessId == pid) {
            TerminateProcess(started.hProcess, 0);
            WaitForSingleObject(started.hProcess, readyTimeoutMs);
        }
    }
}

} // namespace Qolvi_Desktop_Agent::testing
