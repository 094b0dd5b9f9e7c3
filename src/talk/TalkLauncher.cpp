#include "talk/TalkLauncher.h"

#include "base/PortPool.h"
#include "net/SocketEventScope.h"
#include "settings/UfrmConfig.h"
#include "settings/UfrmRandomSeed.h"
#include "talk/UfrmDirectChat.h"
#include "talk/UfrmTalkRequest.h"
#include "ui/ChildWindow.h"
#include "ui/MessageBox.h"

#include <QPointer>
#include <QSet>

namespace {
const QString NoSeedText = QStringLiteral("Unable to generate random number, random seed not initialized!");

} // namespace

quint16 FreeTalkPort(const QSet<quint16> &tried)
{
    TfrmConfig *config = frmConfig();
    if (!config)
        return 0;
    const QList<TfrmDirectChat *> windows = TfrmDirectChat::OpenWindows();
    return PortPool::FindFree(MemoLines(config->memTalkServerPorts), [&](quint16 port) {
        return tried.contains(port) || std::any_of(windows.cbegin(), windows.cend(),
                                                   [port](TfrmDirectChat *w) { return w->ServerPort() == port; });
    });
}

bool EnsureRandomSeed(QWidget *parent)
{
    TfrmConfig *config = frmConfig();
    if (config && !config->RandomSeeded && !TSocketEventScope::InSocketEvent())
        config->NewRandomSeed();
    if (config && config->RandomSeeded)
        return true;
    MessageBox::Error(parent, NoSeedText);
    return false;
}

TRandomByteSource TalkRandomSource()
{
    return []() -> quint8 {
        TfrmConfig *config = frmConfig();
        if (!config)
            throw ERandomError(NoSeedText);
        return config->GetRandomByte();
    };
}

TfrmDirectChat *OpenTalkWindow(const QString &alias, quint16 port, QWidget *parent)
{
    if (!EnsureRandomSeed(parent))
        return nullptr;
    auto *window = new TfrmDirectChat(alias, port);
    QSet<quint16> tried;
    QStringList failures;
    quint16 next = port;
    while (next != 0 && !window->Listen(next)) {
        failures << QStringLiteral("port %1: %2").arg(next).arg(window->ListenError());
        tried.insert(next);
        next = FreeTalkPort(tried);
    }
    if (next == 0) {
        delete window;
        MessageBox::Error(parent, QStringLiteral("Unable to listen for talk connections (%1). Close the program "
                                                 "that uses the port or configure other talk server ports.")
                                      .arg(failures.join(QStringLiteral("; "))));
        return nullptr;
    }
    QPointer<TfrmDirectChat> guard(window);
    ChildWindow::Show(window);
    if (!failures.isEmpty())
        MessageBox::Warning(window, QStringLiteral("Unable to listen for talk connections on %1. The talk window "
                                                   "uses port %2 instead.")
                                        .arg(failures.join(QStringLiteral("; ")))
                                        .arg(next));
    return guard.data();
}

TfrmDirectChat *OpenTalkWithUser(const QString &alias)
{
    const quint16 port = FreeTalkPort();
    if (port == 0) {
        MessageBox::Error(nullptr, QStringLiteral("Not enough talk server ports configured!"));
        return nullptr;
    }
    return OpenTalkWindow(alias, port);
}

QWidget *OpenTalkRequestWindow(const QString &host, quint16 port, const QString &alias)
{
    auto *window = new TfrmTalkRequest(alias, port, host);
    ChildWindow::Show(window);
    return window;
}
