#include "platform/linux/wayland/gnome-shell/gnomeshellextension.h"

#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <systemd/sd-bus.h>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

std::string GnomeShellExtension::systemCopyPath(const SessionBus &bus, const std::string &shell) {
    // The shell's own word for an extension of the system's data folders.
    constexpr double systemType = 1;
    sd_bus_message *reply = nullptr;
    std::string path;
    double type = 0;
    if (sd_bus_call_method(bus.get(), shell.c_str(), "/org/gnome/Shell",
                           "org.gnome.Shell.Extensions", "GetExtensionInfo", nullptr, &reply, "s",
                           uuid) >= 0 &&
        sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "{sv}") >= 0) {
        while (sd_bus_message_enter_container(reply, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
            const char *key = nullptr;
            const char *value = nullptr;
            if (sd_bus_message_read(reply, "s", &key) < 0) {
                break;
            }
            const std::string_view name(key);
            if (name == "path" && sd_bus_message_read(reply, "v", "s", &value) >= 0) {
                path = value;
            } else if (name == "type" && sd_bus_message_read(reply, "v", "d", &type) >= 0) {
            } else if (sd_bus_message_skip(reply, "v") < 0) {
                break;
            }
            if (sd_bus_message_exit_container(reply) < 0) {
                break;
            }
        }
    }
    sd_bus_message_unref(reply);
    return type == systemType ? path : std::string();
}

bool GnomeShellExtension::isSystemExtension(const std::filesystem::path &folder) {
    if (!folder.is_absolute() || folder.filename() != uuid) {
        return false;
    }
    // The folder and every one above it belong to root, and no one else can write to them, nor
    // rename what root put in them (a shared folder such as /tmp holds it only with its sticky
    // bit): a copy the candidate can change never passes for the system's.
    std::filesystem::path walked;
    for (const auto &part : folder.lexically_normal()) {
        walked /= part;
        struct stat status {};
        if (::lstat(walked.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != 0 ||
            ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0)) {
            return false;
        }
    }
    return true;
}

GnomeShellExtension::Enabling GnomeShellExtension::enable(std::chrono::milliseconds limit) {
    SessionBus bus;
    if (!bus.open(limit)) {
        return Enabling::noShell;
    }
    sd_bus_message *reply = nullptr;
    int enabled = 0;
    const bool answered = sd_bus_call_method(bus.get(), "org.gnome.Shell", "/org/gnome/Shell",
                                             "org.gnome.Shell.Extensions", "EnableExtension",
                                             nullptr, &reply, "s", uuid) >= 0 &&
                          sd_bus_message_read(reply, "b", &enabled) >= 0;
    sd_bus_message_unref(reply);
    if (!answered) {
        return Enabling::noShell;
    }
    return enabled != 0 ? Enabling::enabled : Enabling::refused;
}

bool GnomeShellExtension::installedIn(const std::vector<std::filesystem::path> &dataDirs) {
    std::error_code error;
    for (const std::filesystem::path &folder : dataDirs) {
        if (std::filesystem::is_regular_file(
                folder / "gnome-shell/extensions" / uuid / "metadata.json", error)) {
            return true;
        }
    }
    return false;
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
