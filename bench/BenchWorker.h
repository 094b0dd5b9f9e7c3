#pragma once

#include <QObject>
#include <QThread>

// Runs Setup on a thread of its own with an event loop; the objects it makes die there.
// Stands for the other copy of the program in a benchmark.
class TWorker
{
public:
    template <typename Setup> explicit TWorker(Setup setup)
    {
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_context, [this, setup] { setup(m_context); }, Qt::BlockingQueuedConnection);
    }
    ~TWorker()
    {
        QMetaObject::invokeMethod(
            m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    TWorker(const TWorker &) = delete;
    TWorker &operator=(const TWorker &) = delete;

private:
    QThread m_thread;
    QObject *m_context;
};
