#pragma once
// The process's time zone set to `tz` (POSIX form) for the life of the object, then restored.

#include <cstdlib>
#include <ctime>
#include <string>

namespace vrdtest {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_saved = old ? old : "";
        m_hadTz = old != nullptr;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        m_hadTz ? setenv("TZ", m_saved.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::string m_saved;
    bool m_hadTz = false;
};

// POSIX sign: eight hours east of UTC.
inline constexpr const char* kUtcPlusEight = "UTC-8";

} // namespace vrdtest
