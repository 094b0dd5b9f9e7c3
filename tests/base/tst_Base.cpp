// The lowest helpers at their edges: reads past the end of a layout, cutting UTF-8 to a byte
// budget, and what a flood of dropped input leaves in the log.
#include "base/Bytes.h"
#include "base/Log.h"
#include "base/OrloLink.h"
#include "base/Text.h"

#include <QtTest>

namespace {
QStringList g_lines;
void Capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_lines << message;
}
} // namespace

class TestBase : public QObject
{
    Q_OBJECT

private slots:
    void readsStopAtTheEnd()
    {
        const QByteArray bytes("\x01\x02\x03\x04\x05", 5);
        TByteReader r(bytes);
        QCOMPARE(r.U32LEAt(1), 0x05040302u);
        QCOMPARE(r.U32BEAt(0), 0x01020304u);
        QVERIFY(r.Ok());
        QCOMPARE(r.U16LEAt(4), quint16(0x0005)); // one byte past the end reads as zero
        QVERIFY(!r.Ok());
        TByteReader fields(QByteArray("ab\0cd", 5));
        QCOMPARE(fields.ZeroEndedAt(0, 5), QByteArrayView("ab"));
        QCOMPARE(fields.TakeZeroEnded(), QByteArrayView("ab"));
        QCOMPARE(fields.TakeZeroEnded(), QByteArrayView("cd"));
        QCOMPARE(fields.Remaining(), 0);
        QVERIFY(fields.Ok());
        QCOMPARE(fields.Take(1).size(), 0);
        QVERIFY(!fields.Ok());
        TByteWriter out(4);
        out.FieldAt(1, "xyz", 2);
        out.U16BEAt(4, 0x0102);
        QCOMPARE(out.Data(), QByteArray("\0xy\0\x01\x02", 6));
    }

    void utf8Cut_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("max");
        QTest::addColumn<QByteArray>("cut");
        const QByteArray e = QString::fromUtf8("\u00e9").toUtf8();        // 2 bytes
        const QByteArray euro = QString::fromUtf8("\u20ac").toUtf8();     // 3 bytes
        const QByteArray face = QString::fromUtf8("\U0001F600").toUtf8(); // 4 bytes
        QTest::addRow("fits") << QByteArray("abc") << 3 << QByteArray("abc");
        QTest::addRow("ascii cut") << QByteArray("abcd") << 3 << QByteArray("abc");
        QTest::addRow("two-byte sequence whole") << QByteArray("ab") + e << 4 << QByteArray("ab") + e;
        QTest::addRow("two-byte sequence not split") << QByteArray("abc") + e << 4 << QByteArray("abc");
        QTest::addRow("three-byte not split") << QByteArray("a") + euro << 3 << QByteArray("a");
        QTest::addRow("four-byte not split") << face + face << 7 << face;
        QTest::addRow("zero budget") << QByteArray("abc") << 0 << QByteArray();
        QTest::addRow("whole sequence before a stray continuation byte") << e + QByteArray("\x80") << 2 << e;
        QTest::addRow("stray continuation bytes")
            << QByteArray("\x80\x80\x80\x80", 4) << 2 << QByteArray("\x80\x80", 2);
    }
    void utf8Cut()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, max);
        QFETCH(QByteArray, cut);
        QCOMPARE(Text::CutUtf8(bytes, max), cut);
        if (QString::fromUtf8(bytes).toUtf8() == bytes) // text is always valid UTF-8
            QCOMPARE(Text::CutToBytes(QString::fromUtf8(bytes), max).toUtf8(), cut);
    }

    void decodeFallsBackToWindows1252()
    {
        QCOMPARE(Text::Decode("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
        QCOMPARE(Text::Decode("caf\xe9 \x80"), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
    }

    void links_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normal"); // empty: refused
        QTest::addRow("join") << "orlo://join/1.2.3.4:2092"
                              << "orlo://join/1.2.3.4:2092";
        QTest::addRow("join by name, any case, slash") << " ORLO://Join/D3.Example.net:2092/ "
                                                       << "orlo://join/d3.example.net:2092";
        QTest::addRow("talk") << "orlo://talk/pilot-7.example.net"
                              << "orlo://talk/pilot-7.example.net";
        QTest::addRow("files, highest port") << "orlo://files/10.0.0.1:65535"
                                             << "orlo://files/10.0.0.1:65535";
        QTest::addRow("join without port") << "orlo://join/1.2.3.4"
                                           << "";
        QTest::addRow("port 0") << "orlo://join/1.2.3.4:0"
                                << "";
        QTest::addRow("port past 65535") << "orlo://join/1.2.3.4:65536"
                                         << "";
        QTest::addRow("port with sign") << "orlo://join/1.2.3.4:+80"
                                        << "";
        QTest::addRow("talk with port") << "orlo://talk/1.2.3.4:28045"
                                        << "";
        QTest::addRow("address out of range") << "orlo://join/1.2.3.256:2092"
                                              << "";
        QTest::addRow("address with leading zero") << "orlo://join/01.2.3.4:2092"
                                                   << "";
        QTest::addRow("three numbers") << "orlo://join/1.2.3:2092"
                                       << "";
        QTest::addRow("user part") << "orlo://join/me@1.2.3.4:2092"
                                   << "";
        QTest::addRow("query") << "orlo://join/1.2.3.4:2092?x=1"
                               << "";
        QTest::addRow("escape") << "orlo://join/%31.2.3.4:2092"
                                << "";
        QTest::addRow("blank inside") << "orlo://join/1.2.3.4 :2092"
                                      << "";
        QTest::addRow("hyphen first") << "orlo://talk/-x.example"
                                      << "";
        QTest::addRow("semicolon") << "orlo://talk/a;rm"
                                   << "";
        QTest::addRow("unknown action") << "orlo://launch/1.2.3.4:2092"
                                        << "";
        QTest::addRow("no slashes") << "orlo:join/1.2.3.4:2092"
                                    << "";
        QTest::addRow("other scheme") << "http://join/1.2.3.4:2092"
                                      << "";
        QTest::addRow("too long") << "orlo://talk/" + QString(300, u'a') << "";
    }
    void links()
    {
        QFETCH(QString, text);
        QFETCH(QString, normal);
        QString error;
        const std::optional<TOrloLink> link = OrloLink::Parse(text, &error);
        QCOMPARE(link ? OrloLink::Format(*link) : QString(), normal);
        QCOMPARE(error.isEmpty(), link.has_value());
    }

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

QTEST_GUILESS_MAIN(TestBase)
#include "tst_Base.moc"
