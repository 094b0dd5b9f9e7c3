#include "irc/SendQueue.h"

#include <algorithm>

TSendQueue::TSendQueue(TWriter writer, QObject *parent) : QObject(parent), m_writer(std::move(writer))
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TSendQueue::Pump);
}

void TSendQueue::SetLimits(int burst, int intervalMs)
{
    burst = std::max(0, burst);
    intervalMs = std::max(0, intervalMs);
    if (burst == m_burst && intervalMs == m_intervalMs) {
        Pump();
        return;
    }
    // What was sent still counts, in lines: the time owed is rescaled to the new interval.
    const qint64 now = m_clock();
    const qint64 owed = std::max<qint64>(0, m_busyUntil - now);
    m_busyUntil = m_intervalMs > 0 && burst > 0 ? now + owed * intervalMs / m_intervalMs : now;
    m_burst = burst;
    m_intervalMs = intervalMs;
    m_timer.stop();
    Pump();
}

void TSendQueue::SetClock(TClock clock)
{
    m_clock = std::move(clock);
}

qint64 TSendQueue::WaitMs(qint64 busyUntil, qint64 now, int burst, int intervalMs)
{
    if (burst <= 0 || intervalMs <= 0)
        return 0;
    // The pace is a bucket of Burst lines that refills one line per interval.
    const qint64 allowance = qint64(burst - 1) * intervalMs;
    return std::max<qint64>(0, busyUntil - now - allowance);
}

void TSendQueue::Push(const QByteArray &line, TKind kind)
{
    if (line.isEmpty())
        return;
    if (kind == TKind::Urgent || (kind == TKind::Direct && m_lines.isEmpty())) {
        WriteNow(line);
        return;
    }
    m_lines.enqueue(line);
    Pump();
}

void TSendQueue::WriteNow(const QByteArray &line)
{
    const qint64 now = m_clock();
    m_busyUntil = m_burst > 0 ? std::max(m_busyUntil, now) + m_intervalMs : now;
    WriteOne(line);
}

void TSendQueue::FlushAll()
{
    m_timer.stop();
    while (!m_lines.isEmpty()) {
        if (!WriteOne(m_lines.dequeue()))
            return;
    }
}

void TSendQueue::Clear()
{
    m_timer.stop();
    m_lines.clear();
    m_busyUntil = 0;
}

bool TSendQueue::WriteOne(const QByteArray &line)
{
    if (m_writer && m_writer(line))
        return true;
    m_lines.clear();
    m_timer.stop();
    emit WriteFailed();
    return false;
}

void TSendQueue::Pump()
{
    while (!m_lines.isEmpty()) {
        const qint64 now = m_clock();
        const qint64 wait = WaitMs(m_busyUntil, now, m_burst, m_intervalMs);
        if (wait > 0) {
            if (!m_timer.isActive() || m_timer.remainingTime() > wait)
                m_timer.start(int(std::min<qint64>(wait, 24 * 3600 * 1000)));
            return;
        }
        // Without a pace nothing is owed, so turning the pace on later starts afresh.
        m_busyUntil = m_burst > 0 ? std::max(m_busyUntil, now) + m_intervalMs : now;
        if (!WriteOne(m_lines.dequeue()))
            return;
    }
}
