#include "app/Application.h"

#include "app/SignalBridge.h"
#include "app/UfrmBanner.h"
#include "app/UfrmHelp.h"
#include "app/UfrmMain.h"
#include "base/OrloLink.h"
#include "demo/DemoNetwork.h"
#include "demo/SimProcess.h"
#include "net/InstanceChannel.h"
#include "net/PeerPackets.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <memory>

QString StoreErrorText(const QString &error, const QString &location)
{
    return QStringLiteral("%1\n\nSettings: %2\n\nOrlo will not write its settings during this run, so nothing "
                          "stored there is lost. To recover, fix the file or move it away; Orlo then starts "
                          "with its defaults.")
        .arg(error, location);
}

namespace {
const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                        QStringLiteral("Read and write the settings in <file>."),
                                        QStringLiteral("file"));
const QCommandLineOption hiddenOption(QStringLiteral("show-hidden"),
                                      QStringLiteral("Show the hidden menu items (Freespace, file sharing)."));

const QCommandLineOption demoOption(QStringLiteral("demo"),
                                    QStringLiteral("Start a demo PXO network on this computer and use it (own "
                                                   "settings; quitting Orlo stops it)."));
const QCommandLineOption demoAddressOption(QStringLiteral("demo-address"),
                                           QStringLiteral("Run the demo network on loopback <address> "
                                                          "(default 127.0.0.1)."),
                                           QStringLiteral("address"));

const QCommandLineOption demoServersOption(QStringLiteral("demo-servers"),
                                           QStringLiteral("Run the demo network with <count> game servers "
                                                          "(1 to 5000, default 12)."),
                                           QStringLiteral("count"));
const QCommandLineOption demoChattersOption(QStringLiteral("demo-chatters"),
                                            QStringLiteral("Run the demo network with <count> chat users "
                                                           "(1 to 1000, default 4)."),
                                            QStringLiteral("count"));
const QCommandLineOption demoChatIntervalOption(QStringLiteral("demo-chat-interval"),
                                                QStringLiteral("The demo's chat users say something every <ms> "
                                                               "milliseconds on average (500 to 600000)."),
                                                QStringLiteral("ms"));

const QCommandLineOption peerOption(QStringLiteral("peer-address"),
                                    QStringLiteral("Listen for other copies of Orlo on <address> only."),
                                    QStringLiteral("address"));

void ConfigureParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Lobbex: a lobby for Descent 3 players on PXO"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(settingsOption);
    parser.addOption(hiddenOption);
    parser.addOption(peerOption);
    parser.addOption(demoOption);
    parser.addOption(demoAddressOption);
    parser.addOption(demoServersOption);
    parser.addOption(demoChattersOption);
    parser.addOption(demoChatIntervalOption);
    parser.addPositionalArgument(QStringLiteral("link"),
                                 QStringLiteral("An orlo: link to open: orlo://join/HOST:PORT, orlo://talk/HOST or "
                                                "orlo://files/HOST:PORT."),
                                 QStringLiteral("[link]"));
}

// Which running Orlo a start belongs to: one per settings file, the demo's apart.
QString InstanceKey(const QCommandLineParser &parser)
{
    if (parser.isSet(demoOption))
        return QStringLiteral("demo ") + parser.value(demoAddressOption);
    if (parser.isSet(settingsOption))
        return QStringLiteral("settings ") + QFileInfo(parser.value(settingsOption)).absoluteFilePath();
    return QStringLiteral("default");
}

// What this start asks for: the first orlo: link of the command line, else to be shown.
QString StartRequest(const QCommandLineParser &parser)
{
    for (const QString &argument : parser.positionalArguments()) {
        if (OrloLink::IsLink(argument))
            return argument.trimmed();
    }
    return QStringLiteral("show");
}

// The whole number given to Option, when it lies within [Low, High]; false (after saying why)
// otherwise. Value keeps its default when the option is not given.
bool CountOption(const QCommandLineParser &parser, const QCommandLineOption &option, int low, int high, int &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int given = parser.value(option).toInt(&ok);
    if (!ok || given < low || given > high) {
        std::fprintf(stderr, "orlo: --%s takes a number from %d to %d, not \"%s\"\n",
                     qPrintable(option.names().first()), low, high, qPrintable(parser.value(option)));
        return false;
    }
    value = given;
    return true;
}

// Starts the demo network and points the settings at it; null (after saying why) when it
// cannot run. Nothing it started is left running then.
std::unique_ptr<TDemoNetwork> StartDemo(const QCommandLineParser &parser)
{
    TDemoOptions options;
    if (parser.isSet(demoAddressOption))
        options.Address = QHostAddress(parser.value(demoAddressOption));
    int chatters = int(options.ChatterNicks.size());
    if (!CountOption(parser, demoServersOption, 1, TDemoOptions::MaxServers, options.Servers) ||
        !CountOption(parser, demoChattersOption, 1, TDemoOptions::MaxChatters, chatters) ||
        !CountOption(parser, demoChatIntervalOption, 500, 600000, options.ChatIntervalMs))
        return nullptr;
    options.ChatterNicks = DemoFiles::ChatterNicks(chatters);
    auto demo = std::make_unique<TDemoNetwork>();
    QString error;
    if (demo->Start(options)) {
        if (!parser.isSet(settingsOption))
            SetActiveStore(std::make_unique<TJsonSettingsStore>(demo->Layout().SettingsFile()));
        try {
            DemoFiles::WriteSettings(ActiveStore(), demo->Settings());
            return demo;
        } catch (const EStoreError &e) {
            error = StoreErrorText(e.Message(), e.Location());
        }
    } else {
        error = demo->ErrorString();
    }
    demo->Stop();
    std::fprintf(stderr, "orlo: %s\n", qPrintable(error));
    MessageBox::Error(nullptr, error);
    return nullptr;
}

void Describe()
{
    QCoreApplication::setApplicationName(QStringLiteral("Orlo"));
    QCoreApplication::setApplicationVersion(QStringLiteral("build %1").arg(PeerPackets::Build));
}

bool AsksForTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h" || arg == "--help-all" || arg == "--version" || arg == "-v")
            return true;
    }
    return false;
}
} // namespace

int RunOrlo(int argc, char *argv[], const std::function<void(TfrmMain &)> &started)
{
    if (AsksForTextOnly(argc, argv)) {
        // --help and --version need no display.
        QCoreApplication app(argc, argv);
        Describe();
        QCommandLineParser parser;
        ConfigureParser(parser);
        parser.process(app);
        return 0;
    }
    QApplication app(argc, argv);
    Describe();
    QApplication::setApplicationDisplayName(QStringLiteral("Orlo"));

    QCommandLineParser parser;
    ConfigureParser(parser);
    parser.process(app);

    if (parser.isSet(settingsOption))
        SetActiveStore(std::make_unique<TJsonSettingsStore>(parser.value(settingsOption)));

    // A second start hands its link to the running Orlo, which raises its window and acts.
    const QString request = StartRequest(parser);
    TInstanceChannel instance(InstanceKey(parser));
    if (instance.HandOverOrListen(request))
        return 0;

    // Installed first: a SIGTERM during start-up (an error box waiting) still ends the run cleanly.
    TSignalBridge signalBridge;
    bool terminating = false;
    QPointer<TfrmMain> mainWindow;
    QObject::connect(&signalBridge, &TSignalBridge::Terminate, &app, [&terminating, &mainWindow] {
        terminating = true;
        while (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
            if (QApplication::activeModalWidget() == modal)
                break;
        }
        if (mainWindow)
            mainWindow->close();
    });

    std::unique_ptr<TDemoNetwork> demo;
    if (parser.isSet(demoOption)) {
        demo = StartDemo(parser);
        if (!demo)
            return 1;
        if (terminating)
            return 0;
        QObject::connect(demo.get(), &TDemoNetwork::HelperEnded, &app, [](const QString &name) {
            std::fprintf(stderr, "orlo: the demo's %s ended\n", qPrintable(name));
        });
    }

    TMainOptions options;
    options.showHidden = parser.isSet(hiddenOption);
    if (parser.isSet(peerOption)) {
        options.peerAddress = QHostAddress(parser.value(peerOption));
        if (options.peerAddress.isNull()) {
            std::fprintf(stderr, "orlo: not an address: %s\n", qPrintable(parser.value(peerOption)));
            return 2;
        }
    }
    auto main = std::make_unique<TfrmMain>(options);
    mainWindow = main.get();
    main->SetTalkRequestFactory(&OpenTalkRequestWindow);
    QObject::connect(main.get(), &TfrmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    main->SetAutoLoginHandler([window = main.get(), fill = demo != nullptr] {
        QWidget *lobby = window->OpenLobby(TfrmMain::TLobbyKind::Descent, false);
        // A first look at the demo shows chat, servers and their pings without arranging windows.
        if (fill && lobby && lobby->parentWidget())
            lobby->parentWidget()->showMaximized();
    });
    auto config = std::make_unique<TfrmConfig>();
    SetConfig(config.get());
    try {
        config->Startup();
    } catch (const EStoreError &e) {
        MessageBox::Error(nullptr, StoreErrorText(e.Message(), e.Location()));
    }
    auto help = std::make_unique<TfrmHelp>();
    auto banner = std::make_unique<TfrmBanner>();
    if (demo)
        main->setWindowTitle(QStringLiteral("Orlo (demo network)"));
    main->show();
    banner->show();
    if (demo) {
        std::printf("Orlo demo network ready: trackers and chat on %s, %d game servers, levels at %s\n"
                    "Quit Orlo to stop it.\n",
                    qPrintable(demo->Host()), int(demo->Sim()->Servers().size()), qPrintable(demo->LevelBaseUrl()));
        std::fflush(stdout);
    }
    QTimer::singleShot(0, main.get(), [&main, request] {
        main->HandleFirstActivation();
        if (request != QLatin1String("show"))
            main->HandleRequest(request);
    });
    QObject::connect(&instance, &TInstanceChannel::MessageReceived, main.get(), &TfrmMain::HandleRequest);
    if (started)
        started(*main);

    const int result = terminating ? 0 : QApplication::exec();

    // Reverse order of creation: children, banner, help, settings, main window.
    main->DestroyChildWindows();
    banner.reset();
    help.reset();
    const QString saveError = config->SaveAllQuietly();
    if (!saveError.isEmpty()) {
        std::fprintf(stderr, "orlo: %s\n", qPrintable(saveError));
        MessageBox::Error(nullptr, StoreErrorText(saveError, ActiveStore().Location()));
    }
    SetConfig(nullptr);
    config.reset();
    main.reset();
    // Last, so the lobby has said goodbye to the chat server before it goes.
    demo.reset();
    return result;
}
