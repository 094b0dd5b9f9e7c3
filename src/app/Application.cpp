#include "app/Application.h"

#include "app/PeerPackets.h"
#include "app/SignalBridge.h"
#include "app/UfrmBanner.h"
#include "app/UfrmHelp.h"
#include "app/UfrmMain.h"
#include "settings/MessageBox.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"

#include <QApplication>
#include <QCommandLineParser>
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

int RunOrlo(int argc, char *argv[])
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
    auto config = std::make_unique<TfrmConfig>();
    SetConfig(config.get());
    try {
        config->Startup();
    } catch (const EStoreError &e) {
        MessageBox::Error(nullptr, StoreErrorText(e.Message(), e.Location()));
    }
    auto help = std::make_unique<TfrmHelp>();
    auto banner = std::make_unique<TfrmBanner>();
    main->show();
    banner->show();
    QTimer::singleShot(0, main.get(), [&main] { main->HandleFirstActivation(); });

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
    return result;
}
