// The Linux scanner over a /proc tree and data folders the test builds: which processes are
// applications, by which identifier, in which order, and what no process can do to the scan.
#pragma once

#include "fakeproctree.h"
#include "platform/linux/entries/desktopentry.h"
#include "platform/linux/evidence/evidencetable.h"
#include "platform/linux/scanner/applicationscanner.h"

#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <functional>
#include <stdexcept>

using namespace Qolvi_Desktop_Agent::linux_backend;
using namespace Qolvi_Desktop_Agent::testing;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Ids = std::vector<std::string>;

// Identifiers as one line, for a failure to show them.
inline QString joined(const Ids &ids) {
    std::string line;
    for (const std::string &id : ids) {
        line += (line.empty() ? "" : " ") + id;
    }
    return QString::fromStdString(line);
}

inline const std::string apps = "/user.slice/user-1000.slice/user@1000.service/app.slice/";

// A /proc tree and data folders ("system" and the user's own "home/.local/share") to arrange
// one case in: programs are written where they are named, processes added as they run.
struct Fixture {
    fs::path data;
    FakeProcTree *proc = nullptr;
    ScannerSources *sources = nullptr;
    std::vector<OwnedWindow> *windows = nullptr;

    // A path in the data folders, its folder made.
    [[nodiscard]] fs::path at(const std::string &relative) const {
        fs::create_directories((data / relative).parent_path());
        return data / relative;
    }
    // Each program its own content, unless it is given some: copies are found by content.
    std::string file(const std::string &relative, const std::string &content = {}) const {
        const fs::path path = at(relative);
        std::ofstream(path, std::ios::binary)
            << (content.empty() ? "# " + relative + "\n" : content);
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
    std::string copy(const fs::path &from, const std::string &relative) const {
        const fs::path path = at(relative);
        fs::copy_file(from, path, fs::copy_options::overwrite_existing);
        return path.string();
    }
    // A copy of a program with its build ID removed, as a candidate would make it, or (given
    // a donor) overwritten with the donor's.
    std::string rebuilt(const fs::path &from, const std::string &relative,
                        const std::string &donor = {}) const {
        const std::string path = copy(from, relative);
        const std::string note = path + ".note";
        const std::string command =
            donor.empty() ? "objcopy --remove-section=.note.gnu.build-id '" + path + "'"
                          : "objcopy --dump-section .note.gnu.build-id='" + note + "' '" + donor +
                                "' /dev/null && objcopy --update-section .note.gnu.build-id='" +
                                note + "' '" + path + "'";
        if (std::system((command + " 2>/dev/null").c_str()) != 0) {
            throw std::runtime_error("objcopy could not change the build ID");
        }
        return path;
    }
    // The variables a desktop launcher sets for the process it starts from an entry.
    [[nodiscard]] std::vector<std::string> launchedFrom(const std::string &id, pid_t pid) const {
        return {"GIO_LAUNCHED_DESKTOP_FILE=" +
                    (data / "system/applications" / (id + ".desktop")).string(),
                "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(pid)};
    }
    std::string link(const std::string &target, const std::string &relative) const {
        const fs::path path = at(relative);
        fs::create_symlink(target, path);
        return path.string();
    }
    void systemEntry(const std::string &id, const std::string &keys) const {
        writeDesktopEntry(data / "system", id + ".desktop", "[Desktop Entry]\n" + keys);
    }
    void userEntry(const std::string &id, const std::string &keys) const {
        writeDesktopEntry(data / "home/.local/share", id + ".desktop", "[Desktop Entry]\n" + keys);
    }
    // A top-level window on the display, owned by the process `owner`.
    void window(pid_t owner, std::vector<std::string> applicationIds,
                std::vector<std::string> classes = {}) const {
        sources->display = ":9";
        windows->push_back({owner, {std::move(applicationIds), std::move(classes)}});
    }
    // An application's files as a sandbox installs them, <installation>/app/<ID>/<arch>/
    // <branch>/<commit>/files, with its program in bin/main; the files folder.
    std::string installSandboxed(const std::string &appFolder) const {
        const std::string files = file(appFolder + "/x86_64/stable/c0ffee/files/bin/main");
        return fs::path(files).parent_path().parent_path().string();
    }
    void run(pid_t pid, const std::string &executable, std::vector<std::string> commandLine,
             const std::string &unit = {}) const {
        proc->add({.pid = pid,
                   .startTime = static_cast<unsigned long long>(pid),
                   .cgroup = unit.empty() ? "/" : apps + unit,
                   .executable = executable,
                   .commandLine = std::move(commandLine)});
    }
};

inline const std::string shell = fs::canonical("/bin/sh").string();
inline const std::string unknown(unknownProgram);

using Arrange = std::function<void(const Fixture &)>;
struct Rule {
    const char *name;
    Arrange arrange;
    Ids expected;
};
// Adds the table's rows on what a program is, each as rule(name, expected, arrange).
void addProgramRules(const std::function<void(const char *, Ids, Arrange)> &rule);

class ScannerTestCase : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_procDir;
    std::unique_ptr<FakeProcTree> m_proc;
    fs::path m_data;
    std::string m_editor;
    std::string m_viewer;

    [[nodiscard]] std::string program(const std::string &name) const {
        return Fixture{m_data}.file("bin/" + name, "#!/bin/sh\n# " + name + "\n");
    }
    [[nodiscard]] ScannerSources sources() const {
        return {.procRoot = m_proc->root(),
                .dataDirs = {m_data / "home/.local/share", m_data / "system"},
                .home = m_data / "home",
                .searchPath = {m_data / "bin", "/usr/bin", "/bin"},
                .systemOwner = ::getuid(),
                .flatpakInstallations = {m_data},
                .user = ::getuid()};
    }
    [[nodiscard]] Ids scan() const { return ApplicationScanner(sources()).scan(); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        // A memory file system lists a folder's entries in the order they were made, as /proc
        // lists processes, where a disk's may list them in any order.
        m_procDir = std::make_unique<QTemporaryDir>("/dev/shm/qolvi-proc-XXXXXX");
        if (!m_procDir->isValid()) {
            m_procDir = std::make_unique<QTemporaryDir>();
        }
        m_proc = std::make_unique<FakeProcTree>(fs::path(m_procDir->path().toStdString()));
        m_data = fs::path(m_dir->path().toStdString()) / "data";
        m_editor = program("editor");
        m_viewer = program("viewer");
        const Fixture fixture{m_data};
        fixture.systemEntry("org.example.Editor",
                            "Type=Application\nName=Editor\nExec=editor %F\n");
        fixture.systemEntry("vendor/viewer", "Exec=env A=1 " + m_viewer + "\n");
    }
};
