// A sandbox's own record names a process only when the process runs from that application as
// installed: a record alone is a file any user can write into a root of their own.

#include "platform/linux/entries/systemfiles.h"
#include "platform/linux/evidence/sources/sources.h"
#include "platform/linux/scanner/scannersources.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace fs = std::filesystem;

namespace {

// Whether the process's executable is a file of the application's deployed files, which lie
// in an installation as <installation>/app/<name>/<arch>/<branch>/<commit>/files. Inside the
// sandbox those files are /app, which is what the executable link shows from outside.
bool runsInstalledApplication(ExaminedProcess &examined, const ProcReader::FlatpakRecord &record,
                              const std::vector<fs::path> &installations,
                              SystemFiles &systemFiles) {
    std::error_code error;
    const fs::path appPath = fs::canonical(record.appPath, error);
    if (error || record.name.find('/') != std::string::npos || record.name.empty() ||
        std::none_of(installations.begin(), installations.end(), [&](const fs::path &place) {
            std::error_code placeError;
            const fs::path installation = fs::canonical(place, placeError);
            return !placeError && isInside(appPath, installation / "app" / record.name);
        })) {
        return false;
    }
    const std::string &executable = examined.executable();
    const fs::path onHost =
        executable.starts_with("/app/") ? appPath / executable.substr(5) : fs::path(executable);
    const fs::path file = fs::canonical(onHost, error);
    struct stat installed {};
    struct stat running {};
    // An installation of the candidate's own is theirs to write.
    if (error || !isInside(file, appPath) || !systemFiles.owns(file) ||
        ::stat(file.c_str(), &installed) != 0) {
        return false;
    }
    const int fd = examined.reader().openExecutable(examined.pid());
    const bool same = fd >= 0 && ::fstat(fd, &running) == 0 && running.st_dev == installed.st_dev &&
                      running.st_ino == installed.st_ino;
    if (fd >= 0) {
        ::close(fd);
    }
    return same;
}

} // namespace

std::string nameBySandbox(ExaminedProcess &examined, EvidenceContext &context) {
    const std::optional<std::string> &unitId = examined.unitId();
    const std::string_view cgroup = examined.cgroup();
    const std::string_view leaf = cgroup.substr(cgroup.rfind('/') + 1);
    // A snap's programs are mounted read-only under /snap/<name>/, where no user writes.
    if (unitId && leaf.starts_with("snap.")) {
        const std::string folder = "/snap/" + unitId->substr(5) + "/";
        return examined.executable().starts_with(folder) ? *unitId : std::string();
    }
    // Looking for the record costs a path walk through the process's root: it is looked for
    // where the unit says Flatpak started the process, and where no unit says anything (a
    // sandbox started outside a user manager has none), and only where sandboxes are
    // installed at all.
    if ((unitId && !leaf.starts_with("app-flatpak-")) || !context.sandboxesInstalled) {
        return {};
    }
    const ProcReader::FlatpakRecord record = examined.reader().flatpakRecord(examined.pid());
    return !record.name.empty() &&
                   runsInstalledApplication(examined, record, context.sources.flatpakInstallations,
                                            context.entries.systemFiles())
               ? record.name
               : std::string();
}

} // namespace Qolvi_Desktop_Agent::linux_backend
