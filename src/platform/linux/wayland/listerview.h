#pragma once

#include "platform/linux/wayland/compositor/toplevel.h"
#include "platform/linux/windowlists/windowidentity.h"

#include <memory>
#include <vector>

namespace Qolvi_Desktop_Agent::linux_backend::wayland {

// A window as the evidence takes it, from a toplevel as a lister reports it.
[[nodiscard]] OwnedWindow ownedWindow(const Toplevel &toplevel);

// Whichever lister is in use (the compositor's own protocol, GNOME Shell's extension, a KWin
// script), seen as a window list.
class ListerView : public WindowList {
public:
    [[nodiscard]] virtual bool connected() const = 0;
};

// One lister, whose toplevels it hands on as windows when they change.
template <typename Lister>
class ListerViewOf final : public ListerView {
public:
    explicit ListerViewOf(std::unique_ptr<Lister> lister)
        : m_lister(std::move(lister)) {
        convert();
    }

    bool refresh(const SessionState &) override {
        if (!m_lister->refresh() && !m_fresh) {
            return false;
        }
        m_fresh = false;
        convert();
        return true;
    }
    [[nodiscard]] const std::vector<OwnedWindow> &windows() const override { return m_windows; }
    [[nodiscard]] bool connected() const override { return m_lister->connected(); }

private:
    void convert() {
        m_windows.clear();
        for (const Toplevel &toplevel : m_lister->toplevels()) {
            m_windows.push_back(ownedWindow(toplevel));
        }
    }

    std::unique_ptr<Lister> m_lister;
    bool m_fresh = true; // the windows listed on opening are news to the first refresh
    std::vector<OwnedWindow> m_windows;
};

// Null for no lister.
template <typename Lister>
std::unique_ptr<ListerView> viewOf(std::unique_ptr<Lister> lister) {
    if (!lister) {
        return nullptr;
    }
    return std::make_unique<ListerViewOf<Lister>>(std::move(lister));
}

} // namespace Qolvi_Desktop_Agent::linux_backend::wayland
