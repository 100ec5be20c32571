#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// Turns the package's GNOME Shell extension on while it is off (installed but not yet turned on
// for the user, or turned off since), and remembers what the shell answered: a shell that
// refused runs it only from the next login on, and is not asked again.
class GnomeExtensionStarter {
public:
    explicit GnomeExtensionStarter(std::vector<std::filesystem::path> dataDirs)
        : m_dataDirs(std::move(dataDirs)) {}

    // Asks the shell to turn the extension on; whether it did.
    bool turnOn(std::chrono::milliseconds limit);
    // The extension runs.
    void running() { m_turnedOnAt.reset(); }
    // Whether to look for the extension again at the next tick: the shell starts it a moment
    // after it answers, so for a while after it was turned on, but not at every tick for good
    // for a shell that never starts it (its user turned all extensions off).
    bool mayStartSoon();
    [[nodiscard]] bool needsNewLogin() const { return m_needsNewLogin; }

private:
    std::vector<std::filesystem::path> m_dataDirs;
    // When the extension was last turned on, until it runs.
    std::optional<std::chrono::steady_clock::time_point> m_turnedOnAt;
    bool m_needsNewLogin = false;
};

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
