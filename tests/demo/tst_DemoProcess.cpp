// "orlo --demo" as a whole program: it starts the demo network, and whatever way it ends
// (quit or SIGTERM) nothing it started is left running. Options out of range start nothing.
#include "DemoTestKit.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int Wait = 20000;
}

class tst_DemoProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    std::unique_ptr<QProcess> StartOrlo(const QHostAddress &address, const QStringList &more = {})
    {
        auto orlo = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        orlo->setProcessEnvironment(env);
        const QStringList arguments =
            QStringList{QStringLiteral("--demo"), QStringLiteral("--demo-address"), address.toString(),
                        QStringLiteral("--peer-address"), address.toString()} +
            more;
        orlo->start(qEnvironmentVariable("ORLO_BINARY_DIR") + QStringLiteral("/src/app/orlo"), arguments);
        return orlo;
    }

    // Waits for a text on the program's standard output or error.
    static bool WaitForOutput(QProcess &orlo, QByteArray &seen, const QByteArray &text)
    {
        return QTest::qWaitFor(
                   [&] {
                       seen += orlo.readAllStandardOutput() + orlo.readAllStandardError();
                       return seen.contains(text) || orlo.state() == QProcess::NotRunning;
                   },
                   Wait) &&
               seen.contains(text);
    }

    static int Finish(QProcess &orlo)
    {
        if (!QTest::qWaitFor([&] { return orlo.state() == QProcess::NotRunning; }, Wait)) {
            orlo.kill();
            orlo.waitForFinished(5000);
            return -1;
        }
        return orlo.exitStatus() == QProcess::NormalExit ? orlo.exitCode() : -2;
    }

    // Starts the demo, checks its helpers run, ends Orlo with Signal and checks they are gone.
    void RunAndEnd(int signal, const QHostAddress &address, const QStringList &more, const QByteArray &told)
    {
        auto orlo = StartOrlo(address, more);
        QByteArray output;
        QVERIFY2(WaitForOutput(*orlo, output, "demo network ready"), output.constData());
        QVERIFY2(output.contains(told), output.constData());
        const QList<qint64> helpers = Descendants(orlo->processId());
        QVERIFY2(helpers.size() >= 4, qPrintable(QString::number(helpers.size())));
        ::kill(pid_t(orlo->processId()), signal);
        QCOMPARE(Finish(*orlo), 0);
        QVERIFY(AllGone(helpers));
    }

private slots:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    // SIGINT closes the main window as the user's quit does.
    void quitStopsEverything() { RunAndEnd(SIGINT, DemoAddress(), {}, ", 12 game servers"); }
    // A large network may run past the end of its first address's last byte.
    void sigtermStopsEverything()
    {
        RunAndEnd(SIGTERM, QHostAddress(DemoAddress().toIPv4Address() | 0xF0u),
                  {QStringLiteral("--demo-servers"), QStringLiteral("40"), QStringLiteral("--demo-chatters"),
                   QStringLiteral("12")},
                  ", 40 game servers");
    }

    // Counts out of range are refused before anything starts.
    void scaleOptionsOutOfRange()
    {
        const QList<QStringList> refused = {{QStringLiteral("--demo-servers"), QStringLiteral("0")},
                                            {QStringLiteral("--demo-servers"), QStringLiteral("5001")},
                                            {QStringLiteral("--demo-chatters"), QStringLiteral("12x")}};
        for (const QStringList &options : refused) {
            auto orlo = StartOrlo(DemoAddress(), options);
            QCOMPARE(Finish(*orlo), 1);
            const QByteArray error = orlo->readAllStandardError();
            QVERIFY2(error.contains(options.first().toLatin1() + " takes a number from"), error.constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_DemoProcess)
#include "tst_DemoProcess.moc"
