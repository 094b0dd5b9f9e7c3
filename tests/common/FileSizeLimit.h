#pragma once

// A stand-in for a full disk: while one of these lives, writes of this process that would
// make a file longer than the limit fail (EFBIG, like ENOSPC for the writer) instead of
// raising SIGXFSZ.
#include <csignal>
#include <sys/resource.h>

class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_saved;
        small.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~TFileSizeLimit() { Lift(); }
    TFileSizeLimit(const TFileSizeLimit &) = delete;
    TFileSizeLimit &operator=(const TFileSizeLimit &) = delete;

    bool IsActive() const { return m_ok; }
    void Lift()
    {
        if (m_ok)
            setrlimit(RLIMIT_FSIZE, &m_saved);
        m_ok = false;
    }

private:
    rlimit m_saved{};
    bool m_ok = false;
};
