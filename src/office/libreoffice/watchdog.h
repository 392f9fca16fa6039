#pragma once
// A deadline for one blocking call at a time: when the call has not returned in time, a
// background thread runs the expiry action (which kills the process the call waits for, so
// that the call returns with an error).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace office::libreoffice {

class Watchdog {
public:
    Watchdog();
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Runs `onExpiry` on the watchdog's thread unless disarm() comes within `limit`.
    void arm(std::chrono::milliseconds limit, std::function<void()> onExpiry);
    // Cancels the deadline; true when it had already expired.
    bool disarm();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::function<void()> m_onExpiry;
    bool m_expired = false;
    bool m_stopping = false;
    std::thread m_thread;
};

// Arms a watchdog for the lifetime of a scope.
class ArmedWatchdog {
public:
    ArmedWatchdog(Watchdog &watchdog, std::chrono::milliseconds limit, std::function<void()> onExpiry)
        : m_watchdog(watchdog)
    {
        m_watchdog.arm(limit, std::move(onExpiry));
    }
    ~ArmedWatchdog()
    {
        if (!m_disarmed)
            m_watchdog.disarm();
    }
    bool disarm()
    {
        m_disarmed = true;
        return m_watchdog.disarm();
    }

private:
    Watchdog &m_watchdog;
    bool m_disarmed = false;
};

} // namespace office::libreoffice
