// Keystroke latency between two talk windows over loopback: from the key event in one
// window's input to the character on the other window's display, over 10,000 keys.
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "talk/ChatWindow.h"
#include "talk/RedTalk.h"
#include "talk/UfrmDirectChat.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cstdio>
#include <vector>

namespace {
constexpr int Keys = 10000;

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

bool Spin(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return done();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetActiveStore(std::make_unique<TJsonSettingsStore>(dir.filePath(QStringLiteral("settings.json"))));
    TfrmConfig config;
    SetConfig(&config);
    if (!config.RandomGenerator)
        config.RandomGenerator = std::make_unique<TRC4>();
    config.RandomGenerator->SetKey(QStringLiteral("10110011100011110000"));
    config.RandomSeeded = true;
    MessageBox::SetHook([](QMessageBox::Icon, const QString &, QMessageBox::StandardButtons buttons) {
        return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });

    TfrmDirectChat accepting(QStringLiteral("Ace"), 0);
    TfrmDirectChat initiating(QStringLiteral("Bee"), 0);
    if (!accepting.Listen(FreePort()) || !initiating.Listen(FreePort())) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    accepting.show();
    initiating.show();
    TChatWindow *out = initiating.ConnectTo(QStringLiteral("127.0.0.1"), QString::number(accepting.ServerPort()));
    if (!Spin([&] { return accepting.Conversations().size() == 1 && out->Connection().KeyExchanged(); }, 10000)) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }
    TChatWindow *in = accepting.Conversations().first();
    Spin([&] { return in->Connection().KeyExchanged(); }, 5000);

    int applied = 0;
    QObject::connect(in, &TChatWindow::EditApplied, [&applied] { ++applied; });
    std::vector<qint64> samples;
    samples.reserve(Keys);
#ifdef __GLIBC__
    const auto heapBefore = mallinfo2().uordblks;
#endif
    QElapsedTimer clock;
    for (int i = 0; i < Keys; ++i) {
        const bool enter = i % 60 == 59;
        const int before = applied;
        clock.start();
        if (enter)
            QTest::keyClick(initiating.RedTalk, Qt::Key_Return);
        else
            QTest::keyClick(initiating.RedTalk, char('a' + i % 26));
        if (!Spin([&] { return applied > before; }, 5000)) {
            std::fprintf(stderr, "key %d never arrived\n", i);
            return 1;
        }
        samples.push_back(clock.nsecsElapsed());
    }
#ifdef __GLIBC__
    // What a kept conversation costs: both windows hold the text (the input and the display).
    std::printf("heap per key kept: %.1f bytes\n", double(qint64(mallinfo2().uordblks - heapBefore)) / Keys);
#endif
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double q) { return double(samples[size_t(q * double(samples.size() - 1))]) / 1e6; };
    std::printf("keys %d, display %lld characters\n", Keys, qlonglong(in->Display->document()->characterCount()));
    std::printf("latency ms: median %.3f  p99 %.3f  max %.3f  (target: median < 1 ms)\n", at(0.5), at(0.99), at(1.0));
    MessageBox::SetHook({});
    SetConfig(nullptr);
    return at(0.5) < 1.0 ? 0 : 2;
}
