#include "base/Log.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>

Q_LOGGING_CATEGORY(lcIrc, "orlo.irc", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPxo, "orlo.pxo", QtWarningMsg)
Q_LOGGING_CATEGORY(lcServers, "orlo.servers", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTalk, "orlo.talk", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "orlo.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNet, "orlo.net", QtWarningMsg)

namespace Log {
namespace {
struct TWindow
{
    qint64 Start = 0;
    int Said = 0;
    quint64 HeldBack = 0;
};

QMutex g_mutex;
QElapsedTimer g_clock;
QHash<const QLoggingCategory *, TWindow> g_windows;
} // namespace

void Dropped(const QLoggingCategory &category, const QString &peer, const QString &why)
{
    if (!category.isDebugEnabled())
        return;
    quint64 heldBack = 0;
    {
        QMutexLocker lock(&g_mutex);
        if (!g_clock.isValid())
            g_clock.start();
        const qint64 now = g_clock.elapsed();
        TWindow &window = g_windows[&category];
        if (window.Said == 0 || now - window.Start >= WindowMs) {
            window.Start = now;
            window.Said = 0;
        }
        if (window.Said >= Burst) {
            ++window.HeldBack;
            return;
        }
        ++window.Said;
        heldBack = std::exchange(window.HeldBack, 0);
    }
    if (heldBack > 0)
        qCDebug(category).noquote() << "dropped from" << peer << ":" << why << "(and" << heldBack << "more not shown)";
    else
        qCDebug(category).noquote() << "dropped from" << peer << ":" << why;
}
} // namespace Log
