// The orlo program as a whole process: options, the first and second run's settings,
// and a clean shutdown on SIGTERM that saves what it holds.
#include "common/Loopback.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestOrloProcess : public QObject
{
    Q_OBJECT

private slots:
    void versionNeedsNoDisplay();
    void firstRunWritesSecondRunKeeps();
    void brokenSettingsAreLeftAlone();

private:
    static QString Binary() { return qEnvironmentVariable("ORLO_BINARY_DIR") + QStringLiteral("/src/app/orlo"); }
    // Starts Orlo, waits until its start-up has written the settings, then ends it with SIGTERM.
    static int RunOnce(const QString &settings, bool waitForSave = true);
};

int TestOrloProcess::RunOnce(const QString &settings, bool waitForSave)
{
    QProcess orlo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    orlo.setProcessEnvironment(env);
    orlo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QFileInfo before(settings);
    const QDateTime stamp = before.exists() ? before.lastModified() : QDateTime();
    orlo.start(Binary(), QStringList{QStringLiteral("--settings"), settings, QStringLiteral("--peer-address"),
                                     RandomLoopback().toString()});
    if (!orlo.waitForStarted(10000))
        return -1;
    // Start-up is done once it has saved the settings (a broken file is never written).
    QDeadlineTimer deadline(waitForSave ? 10000 : 1500);
    while (!deadline.hasExpired() && QFileInfo(settings).lastModified() == stamp)
        QTest::qWait(50);
    QTest::qWait(300);
    orlo.terminate();
    if (!orlo.waitForFinished(10000)) {
        orlo.kill();
        orlo.waitForFinished();
        return -2;
    }
    return orlo.exitStatus() == QProcess::NormalExit ? orlo.exitCode() : -3;
}

void TestOrloProcess::versionNeedsNoDisplay()
{
    QProcess orlo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    orlo.setProcessEnvironment(env);
    orlo.start(Binary(), {QStringLiteral("--version")});
    QVERIFY(orlo.waitForFinished(10000));
    QCOMPARE(orlo.exitCode(), 0);
    QCOMPARE(orlo.readAllStandardOutput().trimmed(), QByteArray("Orlo build 38"));
}

void TestOrloProcess::firstRunWritesSecondRunKeeps()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("orlo.json"));
    QCOMPARE(RunOnce(settings), 0);
    QFile file(settings);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    file.close();
    const QJsonObject root = QJsonDocument::fromJson(first).object();
    for (const char *key :
         {"\\Software\\Orlo\\PXO", "\\Software\\Orlo\\Talk", "\\Software\\Orlo\\Descent", "\\Software\\Orlo\\Chat",
          "\\Software\\Orlo\\Servers", "\\Software\\Orlo\\File transfers", "\\Software\\Orlo\\IRC",
          "\\Software\\Orlo\\Login", "\\Software\\Orlo\\Main Window", "\\Software\\Orlo\\Banner Window"})
        QVERIFY2(root.contains(QLatin1String(key)), key);
    QCOMPARE(RunOnce(settings), 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), first);
}

void TestOrloProcess::brokenSettingsAreLeftAlone()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("orlo.json"));
    const QByteArray broken(R"({"\\Software\\Orlo\\PXO": {"Auto join": "yes"}})");
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(broken);
    file.close();
    // The error box waits for an answer; the process must still end cleanly on SIGTERM.
    QCOMPARE(RunOnce(settings, false), 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), broken);
}

QTEST_GUILESS_MAIN(TestOrloProcess)
#include "tst_OrloProcess.moc"
