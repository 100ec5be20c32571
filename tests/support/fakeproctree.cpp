#include "fakeproctree.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Qolvi_Desktop_Agent::testing {

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &path, const std::string &content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

} // namespace

FakeProcTree::FakeProcTree(fs::path root)
    : m_root(std::move(root)) {
    fs::create_directories(m_root);
    writeFile(m_root / "uptime", "1000.00 2000.00\n");
}

void FakeProcTree::add(const Process &process) const {
    const fs::path dir = m_root / std::to_string(process.pid);
    fs::create_directories(dir);
    // Fields 3 to 22 of a stat line; the command name holds a space and a parenthesis.
    writeFile(dir / "stat",
              std::to_string(process.pid) + " (my (app) x) S " + std::to_string(process.parent) +
                  " 1 1 0 -1 4194304 10 0 0 0 5 3 0 0 20 0 4 0 " +
                  std::to_string(process.startTime) + " 123456 789 18446744073709551615\n");
    writeFile(dir / "cgroup", process.cgroupV1
                                  ? "12:cpu,cpuacct:/\n1:name=systemd:" + process.cgroup + "\n"
                                  : "0::" + process.cgroup + "\n");
    if (process.realUser) {
        const std::string user = std::to_string(*process.realUser);
        writeFile(dir / "status",
                  "Name:\tx\nUid:\t" + user + "\t" + user + "\t" + user + "\t" + user + "\n");
    }
    if (!process.executable.empty()) {
        fs::create_symlink(process.executable, dir / "exe");
    }
    const auto nulSeparated = [](const std::vector<std::string> &words) {
        std::string text;
        for (const std::string &word : words) {
            text += word + '\0';
        }
        return text;
    };
    writeFile(dir / "cmdline", nulSeparated(process.commandLine));
    writeFile(dir / "environ", nulSeparated(process.environment));
    if (!process.flatpakName.empty()) {
        writeFile(dir / "root/.flatpak-info",
                  "[Instance]\ninstance-id=1\napp-path=" + process.flatpakAppPath +
                      "\n\n[Application]\nname=" + process.flatpakName + "\nruntime=x\n");
    }
    std::string maps;
    for (const std::string &file : process.mapped) {
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0) {
            std::array<char, 16> device{};
            std::snprintf(device.data(), device.size(), "%02x:%02x", major(info.st_dev),
                          minor(info.st_dev));
            maps += "7f00-7f10 r-xp 00000000 " + std::string(device.data()) + ' ' +
                    std::to_string(info.st_ino) + "  " + file + '\n';
        }
    }
    writeFile(dir / "maps", maps);
    if (!process.standardInput.empty()) {
        fs::create_directories(dir / "fd");
        fs::create_symlink(process.standardInput, dir / "fd/0");
    }
}

void FakeProcTree::remove(pid_t pid) const {
    fs::remove_all(m_root / std::to_string(pid));
}

void writeDesktopEntry(const fs::path &dataDir, const std::string &relativePath,
                       const std::string &content) {
    writeFile(dataDir / "applications" / relativePath, content);
}

} // namespace Qolvi_Desktop_Agent::testing
