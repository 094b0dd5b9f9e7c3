// orlo-demo-chatters: a few scripted users for the demo's IRC server. They join the lobby
// channel, talk there now and then and answer private messages. Runs until SIGTERM.
#include "sim/DemoChatters.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>
#include <vector>

namespace {
const QStringList ChannelLines = {
    QStringLiteral("anyone up for anarchy on the Crimson servers?"),
    QStringLiteral("gg all, that last round was close"),
    QStringLiteral("the new Pyro tuning is brutal"),
    QStringLiteral("who has the polaris level? mine is missing"),
    QStringLiteral("lag is fine tonight, ping under 50"),
    QStringLiteral("CTF anyone? need two more"),
    QStringLiteral("brb, reloading my fusion cannon"),
    QStringLiteral("welcome newcomers! right-click a server for its info"),
};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orlo-demo-chatters"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Scripted chat users for the Orlo demo network."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("IRC server address."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("IRC server port."), QStringLiteral("port"),
                                  QStringLiteral("7170"));
    const QCommandLineOption nicks(QStringLiteral("nicks"), QStringLiteral("Comma-separated nicks."),
                                   QStringLiteral("list"), QStringLiteral("Kestrel,Mara_V,Dravis,Quill"));
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("Channel to talk in."),
                                     QStringLiteral("name"), QStringLiteral("#autoselect"));
    const QCommandLineOption interval(QStringLiteral("interval-ms"),
                                      QStringLiteral("Average time between channel lines."), QStringLiteral("ms"),
                                      QStringLiteral("12000"));
    parser.addOptions({host, port, nicks, channel, interval});
    parser.process(app);

    const quint16 serverPort = parser.value(port).toUShort();
    const int every = std::clamp(parser.value(interval).toInt(), 500, 600000);
    std::vector<std::unique_ptr<TDemoChatter>> chatters;
    for (const QString &nick : parser.value(nicks).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        chatters.push_back(
            std::make_unique<TDemoChatter>(nick.trimmed(), parser.value(host), serverPort, parser.value(channel)));
        chatters.back()->Connect();
    }
    if (chatters.empty())
        return 2;
    // The first chatter welcomes whoever comes in (not the other chatters), once a minute at most.
    QStringList ours;
    for (const auto &chatter : chatters)
        ours << chatter->Nick();
    qint64 lastWelcome = -60000;
    QElapsedTimer clock;
    clock.start();
    TDemoChatter *greeter = chatters.front().get();
    QObject::connect(greeter, &TDemoChatter::SomeoneJoined, &app, [&, greeter](const QString &nick) {
        if (ours.contains(nick) || clock.elapsed() - lastWelcome < 60000)
            return;
        lastWelcome = clock.elapsed();
        QTimer::singleShot(1500, greeter, [greeter, nick] {
            greeter->Say(
                QStringLiteral("hi %1, welcome! pick a server below, or /msg me if you need a hand").arg(nick));
        });
    });

    QTimer talk;
    talk.setSingleShot(true);
    int line = 0;
    QObject::connect(&talk, &QTimer::timeout, &app, [&] {
        QRandomGenerator *rng = QRandomGenerator::global();
        chatters[rng->bounded(int(chatters.size()))]->Say(ChannelLines[line++ % ChannelLines.size()]);
        talk.start(every / 2 + rng->bounded(every));
    });
    talk.start(every / 3);
    return QCoreApplication::exec();
}
