#pragma once

#include <condition_variable>
#include <mutex>

namespace Qolvi_Desktop_Agent::testing {

// Holds a test server's answers back until the test opens it. Open once, open for good.
class Gate {
public:
    void waitOpen() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }
    void open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

} // namespace Qolvi_Desktop_Agent::testing
