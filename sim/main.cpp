// orlo-pxo-sim: a PXO network on loopback (user tracker, game tracker and game servers) for
// tests and demonstrations. It prints one JSON line with every bound address once it is ready,
// then takes commands on standard input, one per line, and answers each with one JSON line.

#include "sim/ControlChannel.h"
#include "sim/SimNetwork.h"

#include <QCoreApplication>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// Each server holds two sockets; the usual soft limit of 1024 descriptors is too few for thousands.
void RaiseDescriptorLimit(int needed)
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(needed)) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(needed));
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
#else
    Q_UNUSED(needed);
#endif
}

int Fail(const QString &message, int code)
{
    TControlChannel::Print(QJsonObject{{"event", "error"}, {"message", message}});
    std::fprintf(stderr, "orlo-pxo-sim: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orlo-pxo-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("38"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a PXO network on loopback: a user tracker, a game tracker and game servers.\n"
                       "Prints a JSON line with every bound address, then reads commands on standard input\n"
                       "(\"help\" lists them) and stops at the end of input, on \"quit\" or on SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    AddSimOptions(parser);
    parser.addOption({"no-stdin", "Do not read standard input; run until SIGTERM."});
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(parser.errorText(), 2);
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return Fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()), 2);

    QString error;
    const std::optional<TSimOptions> options = ReadSimOptions(parser, &error);
    if (!options)
        return Fail(error, 2);
    RaiseDescriptorLimit(options->serverCount * 2 + 64);

    TSimNetwork network(*options);
    if (!network.Start(&error))
        return Fail(error, 3);

    TControlChannel control;
    if (!control.Open(!parser.isSet("no-stdin"), &error))
        return Fail(error, 3);
    if (options->events)
        QObject::connect(&network, &TSimNetwork::Event, &TControlChannel::Print);
    QObject::connect(&control, &TControlChannel::LineReceived, &app, [&network](const QString &line) {
        bool quit = false;
        TControlChannel::Print(network.Execute(line, &quit));
        if (quit)
            QCoreApplication::quit();
    });
    QObject::connect(&control, &TControlChannel::TooLong, &app, [] {
        TControlChannel::Print(QJsonObject{{"reply", "error"}, {"message", "command line too long"}});
    });
    QObject::connect(&control, &TControlChannel::Ended, &app, &QCoreApplication::quit);

    TControlChannel::Print(network.ReadyInfo());
    return app.exec();
}
