#include "office/libreoffice/watchdog.h"

namespace office::libreoffice {

Watchdog::Watchdog() : m_thread([this] { run(); }) {}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void Watchdog::arm(std::chrono::milliseconds limit, std::function<void()> onExpiry)
{
    {
        std::lock_guard lock(m_mutex);
        m_deadline = std::chrono::steady_clock::now() + limit;
        m_onExpiry = std::move(onExpiry);
        m_expired = false;
    }
    m_changed.notify_all();
}

bool Watchdog::disarm()
{
    std::lock_guard lock(m_mutex);
    m_deadline.reset();
    m_onExpiry = nullptr;
    return std::exchange(m_expired, false);
}

void Watchdog::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_deadline) {
            m_changed.wait(lock);
            continue;
        }
        if (m_changed.wait_until(lock, *m_deadline) == std::cv_status::timeout && m_deadline &&
            std::chrono::steady_clock::now() >= *m_deadline) {
            m_deadline.reset();
            m_expired = true;
            if (m_onExpiry)
                m_onExpiry();
        }
    }
}

} // namespace office::libreoffice
