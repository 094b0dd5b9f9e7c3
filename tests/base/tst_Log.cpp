// What a flood of dropped input leaves in the log: a bounded number of lines, the rest counted.
#include "base/Log.h"

#include <QtTest>

namespace {
QStringList g_lines;
void Capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_lines << message;
}
} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void floodIsBoundedAndCounted()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("orlo.irc.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(Capture);
        for (int i = 0; i < 1000; ++i)
            Log::Dropped(lcIrc(), QStringLiteral("127.0.0.9:7170"), QStringLiteral("line %1").arg(i));
        Log::Dropped(lcPxo(), QStringLiteral("127.0.0.9:2092"), QStringLiteral("not switched on"));
        qInstallMessageHandler(previous);
        QCOMPARE(g_lines.size(), Log::Burst);
        QVERIFY(g_lines.first().contains(QLatin1String("127.0.0.9:7170")));
        QVERIFY(g_lines.first().contains(QLatin1String("line 0")));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_Log.moc"
