#include "platform/linux/windowlists/backgroundwindows.h"

#include "platform/linux/windowlists/ownwindow.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {
// How long the end of the agent waits for a source to close its connections (a KWin script to
// be unloaded, say) before it leaves the thread to finish alone.
constexpr std::chrono::seconds closingLimit{1};
} // namespace

// What the scan and the source's thread hand each other; it outlives whichever ends first.
struct BackgroundWindows::Shared {
    std::mutex mutex;
    std::condition_variable asked;
    std::condition_variable answered;
    SessionState session;
    unsigned requested = 0;
    unsigned served = 0;
    bool changed = false;
    std::vector<OwnedWindow> windows;
    bool needsNewLogin = false;
    bool stop = false;
    bool finished = false;
    std::thread thread;
};

namespace {

void serve(const std::shared_ptr<BackgroundWindows::Shared> &shared,
           const BackgroundWindows::Opener &open) {
    std::unique_ptr<WindowList> list = open();
    // The first list is asked for unasked, so that the first scan finds it waiting.
    if (list != nullptr && list->refresh(SessionState{})) {
        std::vector<OwnedWindow> windows = list->windows();
        noteOwnWindow(windows);
        const std::scoped_lock first(shared->mutex);
        shared->windows = std::move(windows);
        shared->changed = true;
    }
    std::unique_lock lock(shared->mutex);
    while (true) {
        shared->asked.wait(lock,
                           [&] { return shared->stop || shared->requested != shared->served; });
        if (shared->stop) {
            break;
        }
        const unsigned request = shared->requested;
        const SessionState session = shared->session;
        lock.unlock();
        const bool changed = list != nullptr && list->refresh(session);
        std::vector<OwnedWindow> windows;
        if (changed) {
            windows = list->windows();
            // Heard here, not at the scan, so that a scan that gave up waiting misses nothing.
            noteOwnWindow(windows);
        }
        const bool needsNewLogin = list != nullptr && list->needsNewLogin();
        lock.lock();
        if (changed) {
            shared->windows = std::move(windows);
            shared->changed = true;
        }
        shared->needsNewLogin = needsNewLogin;
        shared->served = request;
        shared->answered.notify_all();
    }
    lock.unlock();
    list.reset();
    lock.lock();
    shared->finished = true;
    shared->answered.notify_all();
}

} // namespace

BackgroundWindows::BackgroundWindows(Opener open, std::chrono::milliseconds wait)
    : m_shared(std::make_shared<Shared>())
    , m_wait(wait) {
    m_shared->thread =
        std::thread([shared = m_shared, open = std::move(open)]() mutable { serve(shared, open); });
}

BackgroundWindows::~BackgroundWindows() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->asked.notify_one();
    const bool finished =
        m_shared->answered.wait_for(lock, closingLimit, [this] { return m_shared->finished; });
    std::thread thread = std::move(m_shared->thread);
    lock.unlock();
    if (finished) {
        thread.join();
    } else {
        thread.detach();
    }
}

bool BackgroundWindows::refresh(const SessionState &session) {
    std::unique_lock lock(m_shared->mutex);
    m_shared->session = session;
    const unsigned request = ++m_shared->requested;
    m_shared->asked.notify_one();
    m_shared->answered.wait_for(lock, m_wait, [&] { return m_shared->served == request; });
    m_needsNewLogin = m_shared->needsNewLogin;
    if (!std::exchange(m_shared->changed, false)) {
        return false;
    }
    m_windows = std::move(m_shared->windows);
    return true;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
