// Game-server replies as the lobby reads them.
#include "pxo/ServerReplies.h"

#include <QTest>

using namespace ServerReplies;

namespace {
QByteArray Counted(const QByteArray &text)
{
    return char(text.size() + 1) + text + '\0';
}
QByteArray Word(quint16 v)
{
    return QByteArray(1, char(v & 0xFF)) + char(v >> 8);
}
QByteArray GameInfo(quint8 mode, quint8 dedicated, quint8 difficulty)
{
    QByteArray b("\x01\x1F", 2);
    b += QByteArray(18, '\0');
    b += Counted("Alpha") + Counted("level.mn3") + Counted("desc") + Counted("Anarchy");
    b += Word(7) + Word(3) + Word(8) + Word(0x1234) + Word(0) + Word(0);
    b += char(mode);
    b += '\0';
    b += char(dedicated);
    b += char(difficulty);
    return b;
}
} // namespace

class tst_ServerReplies : public QObject
{
    Q_OBJECT
private slots:
    void gameInfo_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("dedicated");
        QTest::addColumn<int>("difficulty");
        QTest::addColumn<QString>("modeText");
        QTest::addColumn<QString>("difficultyText");
        QTest::newRow("c/s, trainee") << 2 << 0 << 0 << "c/s"
                                      << "Trainee";
        QTest::newRow("p2p ml dedicated, insane") << 5 << 1 << 4 << "p2p ml d"
                                                  << "Insane";
        QTest::newRow("unknown values as numbers") << 7 << 1 << 9 << "7 d"
                                                   << "9";
        QTest::newRow("flag 2 is not dedicated") << 0 << 2 << 1 << "c/s pm"
                                                 << "Rookie";
    }
    void gameInfo()
    {
        QFETCH(int, mode);
        QFETCH(int, dedicated);
        QFETCH(int, difficulty);
        QFETCH(QString, modeText);
        QFETCH(QString, difficultyText);
        const TGameInfo info = DecodeGameInfo(GameInfo(quint8(mode), quint8(dedicated), quint8(difficulty)));
        QCOMPARE(info.Name, QStringLiteral("Alpha"));
        QCOMPARE(info.Level, QStringLiteral("level.mn3"));
        QCOMPARE(info.Description, QStringLiteral("desc"));
        QCOMPARE(info.GameType, QStringLiteral("Anarchy"));
        QCOMPARE(info.LevelNumber, quint16(7));
        QCOMPARE(info.Players, quint16(3));
        QCOMPARE(info.MaxPlayers, quint16(8));
        QCOMPARE(info.Sequence, quint16(0x1234));
        QCOMPARE(info.Mode, modeText);
        QCOMPARE(info.Dedicated, dedicated == 1);
        QCOMPARE(info.Difficulty, difficultyText);
    }

    // Short replies read zeros; a zero length reads as an empty text.
    void gameInfoShort()
    {
        QByteArray b("\x01\x1F", 2);
        b += QByteArray(18, '\0');
        b += char(0);
        b += '\0';
        b += Counted("lvl");
        const TGameInfo info = DecodeGameInfo(b);
        QCOMPARE(info.Name, QString());
        QCOMPARE(info.Level, QStringLiteral("lvl"));
        QCOMPARE(info.Description, QString());
        QCOMPARE(info.MaxPlayers, quint16(0));
        QCOMPARE(DecodeGameInfo(QByteArray("\x01\x1F", 2)).Name, QString());
        // A length past the end takes what is there.
        QByteArray cut("\x01\x1F", 2);
        cut += QByteArray(18, '\0');
        cut += char(200);
        cut += "abc";
        QCOMPARE(DecodeGameInfo(cut).Name, QStringLiteral("abc"));
    }

    void playerList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two") << QByteArray("\x01\x73\0\0ann\0bob\0", 12) << QStringList{"ann", "bob"};
        QTest::newRow("blanks kept for the caller")
            << QByteArray("\x01\x73\0\0a\0  \0b\0", 12) << QStringList{"a", "  ", "b"};
        QTest::newRow("double zero ends") << QByteArray("\x01\x73\0\0a\0\0b\0", 10) << QStringList{"a"};
        QTest::newRow("empty") << QByteArray("\x01\x73\0\0\0", 5) << QStringList{};
        QTest::newRow("no end zero") << QByteArray("\x01\x73\0\0abc", 7) << QStringList{"abc"};
        QTest::newRow("header only") << QByteArray("\x01\x73", 2) << QStringList{};
    }
    void playerList()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QCOMPARE(DecodePlayerList(bytes), names);
    }

    void status()
    {
        QCOMPARE(DecodeStatus(QByteArray("\\gamever\\1.4\0junk", 17)), QStringLiteral("\\gamever\\1.4"));
        QCOMPARE(DecodeStatus(QByteArray("\\a\\b")), QStringLiteral("\\a\\b"));
    }
};

QTEST_GUILESS_MAIN(tst_ServerReplies)
#include "tst_ServerReplies.moc"
