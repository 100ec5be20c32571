#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace Qolvi_Desktop_Agent::linux_backend {

// Whether a path lies in a folder, by whole names: "/homework" is not inside "/home". Nothing
// is inside an empty folder.
[[nodiscard]] bool isInside(const std::filesystem::path &path, const std::filesystem::path &folder);

// Whether a file is the system's: it and every folder above it belong to the system's owner
// (root; a test's fixtures give their own) and no one else can write them, but in a folder
// that lets each user remove only their own files (/tmp). Only such a file says what an
// installed application is: the candidate writes anything else.
class SystemFiles {
public:
    explicit SystemFiles(uid_t owner)
        : m_owner(owner) {}

    [[nodiscard]] bool owns(const std::filesystem::path &file);
    // The same of a file many processes run, asked once.
    [[nodiscard]] bool ownsRunning(const std::string &file);
    // Forgets the files and folders seen so far, whose owners may have changed since.
    void forget() {
        m_folders.clear();
        m_files.clear();
    }

private:
    [[nodiscard]] bool ownedFolder(const std::string &folder);

    uid_t m_owner;
    std::unordered_map<std::string, bool> m_folders; // canonical
    std::unordered_map<std::string, bool> m_files;
};

} // namespace Qolvi_Desktop_Agent::linux_backend
