// The lobby's server list at scale, fed with replies made by the simulator's own encoders:
// the UI thread's time per game-info reply (decode, apply, refresh, sort), the time of a
// whole serialized ping pass, and the heap each listed server costs.
#include "pxo/UfrmPXO.h"
#include "servers/DatagramEndpoint.h"
#include "servers/ServerList.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "sim/ServerDatagrams.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <memory>

namespace {

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

QString AddressOf(int i)
{
    return QStringLiteral("127.%1.%2.%3").arg(100 + i / 65025).arg(i / 255 % 255).arg(i % 255 + 1);
}

QByteArray ReplyFor(const TServer *server, int i, int round)
{
    ServerDatagrams::TGameInfo info;
    info.name = QByteArrayLiteral("Server number ") + QByteArray::number(i);
    info.level = QByteArrayLiteral("level") + QByteArray::number(i % 37) + QByteArrayLiteral(".mn3");
    info.description = QByteArrayLiteral("Mission ") + QByteArray::number(i % 11);
    info.gameType = i % 3 ? QByteArrayLiteral("Anarchy") : QByteArrayLiteral("CTF");
    info.levelNumber = quint16(1 + i % 5);
    info.maxPlayers = quint16(8 + i % 9);
    info.players = quint16((i + round) % (info.maxPlayers + 1));
    info.mode = quint8(i % 4);
    info.dedicated = i % 2;
    info.difficulty = quint8(i % 5);
    return ServerDatagrams::EncodeGameInfoReply(info, server->RequestSeq);
}

struct TFigures
{
    double fillMicros = 0;   // per reply while the list fills in
    double updateMicros = 0; // per reply of a refresh round (every row listed)
    double passMillis = 0;   // a whole serialized ping pass
    double bytesPerServer = 0;
};

TFigures Measure(int count)
{
    TFigures figures;
    auto *form = new TfrmDescent;
    form->setAttribute(Qt::WA_DontShowOnScreen);
    form->resize(900, 700);
    form->show();
    QCoreApplication::processEvents();
    const size_t before = HeapInUse();

    for (int i = 0; i < count; ++i)
        form->ServerList->AddServer(AddressOf(i), 2092);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        TServer *server = form->Servers().value(i);
        form->Datagrams->Feed(ReplyFor(server, i, 0), server->IP, server->Port);
    }
    figures.fillMicros = double(timer.nsecsElapsed()) / 1000.0 / count;
    QCoreApplication::processEvents();
    figures.bytesPerServer = double(HeapInUse() - before) / count;

    for (TServer *server : form->Servers())
        server->RequestGameInfo();
    timer.restart();
    for (int i = 0; i < count; ++i) {
        TServer *server = form->Servers().value(i);
        form->Datagrams->Feed(ReplyFor(server, i, 1), server->IP, server->Port);
    }
    figures.updateMicros = double(timer.nsecsElapsed()) / 1000.0 / count;

    // A serialized pass: a first batch is asked, each reply asks the next server.
    timer.restart();
    form->ServerList->PingAllServers();
    for (int guard = 0; guard < 4 * count; ++guard) {
        int answered = 0;
        for (int i = 0; i < form->Servers().size(); ++i) {
            TServer *server = form->Servers().value(i);
            if (server->PingState != 2)
                continue;
            form->Datagrams->Feed(ReplyFor(server, i, 2), server->IP, server->Port);
            ++answered;
        }
        if (answered == 0)
            break;
    }
    figures.passMillis = double(timer.nsecsElapsed()) / 1e6;

    delete form;
    QCoreApplication::processEvents();
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetActiveStore(std::make_unique<TJsonSettingsStore>(dir.filePath(QStringLiteral("settings.json"))));
    auto config = std::make_unique<TfrmConfig>();
    SetConfig(config.get());
    MessageBox::SetHook(
        [](QMessageBox::Icon, const QString &, QMessageBox::StandardButtons) { return QMessageBox::Ok; });

    std::printf("%8s %14s %16s %14s %14s\n", "servers", "fill us/reply", "update us/reply", "ping pass ms",
                "bytes/server");
    for (int count : {100, 1000, 5000}) {
        const TFigures f = Measure(count);
        std::printf("%8d %14.1f %16.1f %14.1f %14.0f\n", count, f.fillMicros, f.updateMicros, f.passMillis,
                    f.bytesPerServer);
        std::fflush(stdout);
    }
    SetConfig(nullptr);
    config.reset();
    SetActiveStore(nullptr);
    return 0;
}
