// The talk stream engine: key exchange, alias, display rules, the keys table and hostile
// peers, with the wire checked against an encoder of the test's own.
#include "talk/TalkKeys.h"
#include "talk/TalkProtocol.h"
#include "talk/TalkTestKit.h"

#include <QtTest>

namespace {
const QByteArray Key = "1F2E3D4C5B6A79880123456789ABCDEF";

// Everything a read sequence leaves behind, to compare feeds split in different ways.
struct TOutcome
{
    bool ok = true;
    QString text;
    QString name;
    int beeps = 0;
    bool keyExchanged = false;
    bool awaitingName = true;
    bool inControl = false;
    TTalkProtocol::TError error = TTalkProtocol::TError::None;
    bool operator==(const TOutcome &) const = default;
};

char *toString(const TOutcome &o)
{
    return QTest::toString(QStringLiteral("ok=%1 text=%2 name=%3 beeps=%4 keyed=%5 awaitingName=%6 ctl=%7 error=%8")
                               .arg(o.ok)
                               .arg(o.text, o.name)
                               .arg(o.beeps)
                               .arg(o.keyExchanged)
                               .arg(o.awaitingName)
                               .arg(o.inControl)
                               .arg(int(o.error)));
}

// Feeds Stream to a fresh accepting engine in pieces that end at the given offsets.
TOutcome Feed(const QByteArray &stream, const QList<qsizetype> &cuts, int *edits = nullptr)
{
    TModelDisplay display;
    TMemoryLink link;
    TTalkProtocol engine(false, "me", display, link, CountingRandom(1));
    TOutcome outcome;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends << stream.size();
    for (const qsizetype end : std::as_const(ends)) {
        if (!engine.ProcessIncoming(QByteArrayView(stream).sliced(from, end - from)))
            outcome.ok = false;
        from = end;
    }
    outcome.text = display.text;
    outcome.name = display.name;
    outcome.beeps = display.beeps;
    outcome.keyExchanged = display.keyExchanges == 1;
    outcome.awaitingName = engine.AwaitingName();
    outcome.inControl = engine.InControl();
    outcome.error = engine.Error();
    if (edits)
        *edits = display.edits;
    return outcome;
}

// Whole, byte by byte and cut once at every position: the same outcome each time.
TOutcome FeedEveryWay(const QByteArray &stream)
{
    const TOutcome whole = Feed(stream, {});
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < stream.size(); ++i)
        everyByte << i;
    const TOutcome bytewise = Feed(stream, everyByte);
    if (!(bytewise == whole))
        qWarning("byte by byte: %s", toString(bytewise));
    [&] { QCOMPARE(bytewise, whole); }();
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        const TOutcome split = Feed(stream, {cut});
        if (!(split == whole)) {
            qWarning("cut at %lld: %s", qlonglong(cut), toString(split));
            [&] { QCOMPARE(split, whole); }();
            break;
        }
    }
    return whole;
}
} // namespace

class TestTalkProtocol : public QObject
{
    Q_OBJECT

private slots:
    void keyExchangeBothWays();
    void ownAliasKeepsWithinPeerBounds();
    void keyTextDropsLeadingZeros();
    void displayRules_data();
    void displayRules();
    void oneReadIsOneEdit();
    void aliasesArriveWhole_data();
    void aliasesArriveWhole();
    void keysTable_data();
    void keysTable();
    void hostilePeers_data();
    void hostilePeers();
    void noRandomNumbers();
    void displayTextIsBounded();
};

void TestTalkProtocol::keyExchangeBothWays()
{
    TModelDisplay acceptingDisplay, initiatorDisplay;
    TMemoryLink toInitiator, toAccepting;
    TTalkProtocol accepting(false, "Ace", acceptingDisplay, toInitiator, CountingRandom(3, 7));
    bool initiatorAwaitingKeyWhenKeying = true;
    TTalkProtocol *initiatorPtr = nullptr;
    auto initiatorRandom = [&, inner = CountingRandom(200, 13)]() mutable {
        initiatorAwaitingKeyWhenKeying = initiatorPtr->AwaitingKey();
        return inner();
    };
    TTalkProtocol initiator(true, "Bee", initiatorDisplay, toAccepting, initiatorRandom);
    initiatorPtr = &initiator;

    // The accepting side speaks first; the initiator answers only once it has the key.
    QVERIFY(accepting.SendKey());
    QVERIFY(toAccepting.written.isEmpty());
    const QByteArray acceptingKey = accepting.SentKey();
    QVERIFY(!acceptingKey.isEmpty() && acceptingKey.size() <= 512);
    QCOMPARE(acceptingKey, acceptingKey.toUpper());
    QVERIFY(toInitiator.written.startsWith(acceptingKey + '='));
    QCOMPARE(DecodeAfterKey(acceptingKey, toInitiator.written.mid(acceptingKey.size() + 1)), QByteArray("Ace\0", 4));

    QVERIFY(initiator.ProcessIncoming(toInitiator.written));
    QVERIFY(!initiatorAwaitingKeyWhenKeying);
    const QByteArray initiatorKey = initiator.SentKey();
    QVERIFY(initiatorKey != acceptingKey);
    QCOMPARE(DecodeAfterKey(initiatorKey, toAccepting.written.mid(initiatorKey.size() + 1)), QByteArray("Bee\0", 4));
    QVERIFY(accepting.ProcessIncoming(toAccepting.written));
    QCOMPARE(acceptingDisplay.name, QStringLiteral("Bee"));
    QCOMPARE(initiatorDisplay.name, QStringLiteral("Ace"));
    QCOMPARE(acceptingDisplay.keyExchanges, 1);
    QCOMPARE(initiatorDisplay.keyExchanges, 1);

    // Each direction continues its own keystream.
    toInitiator.written.clear();
    toAccepting.written.clear();
    accepting.SendBytes("hi");
    initiator.SendBytes(QByteArray("yo\0\x0D!", 5));
    QVERIFY(initiator.ProcessIncoming(toInitiator.written));
    QVERIFY(accepting.ProcessIncoming(toAccepting.written));
    QCOMPARE(initiatorDisplay.text, QStringLiteral("hi"));
    QCOMPARE(acceptingDisplay.text, QStringLiteral("yo\n!"));
}

void TestTalkProtocol::ownAliasKeepsWithinPeerBounds()
{
    // An alias the peer would refuse is cut at a character boundary; a zero byte ends it.
    QByteArray longAlias(TTalkProtocol::MaxNameBytes - 1, 'a');
    longAlias += "\xC3\xA9tail";
    for (const auto &[alias, sent] : {std::pair<QByteArray, QByteArray>{longAlias, longAlias.left(1023)},
                                      {QByteArray("ab\0cd", 5), QByteArray("ab")}}) {
        TModelDisplay display, peerDisplay;
        TMemoryLink link, back;
        TTalkProtocol sender(false, alias, display, link, CountingRandom(5));
        QVERIFY(sender.SendKey());
        QCOMPARE(sender.Alias(), sent);
        TTalkProtocol receiver(true, "r", peerDisplay, back, CountingRandom(9));
        QVERIFY(receiver.ProcessIncoming(link.written));
        QCOMPARE(peerDisplay.name, QString::fromUtf8(sent));
    }
}

void TestTalkProtocol::keyTextDropsLeadingZeros()
{
    // All-zero random bytes give an empty key text; a first byte below 16 one digit less.
    for (const auto &[first, digits] : {std::pair<quint8, int>{0, 0}, {0x0F, 511}, {0x10, 512}}) {
        TModelDisplay display, peerDisplay;
        TMemoryLink link, back;
        TTalkProtocol sender(false, "z", display, link, first == 0 ? CountingRandom(0, 0) : CountingRandom(first, 0));
        QVERIFY(sender.SendKey());
        QCOMPARE(sender.SentKey().size(), digits);
        TTalkProtocol receiver(true, "r", peerDisplay, back, CountingRandom(9));
        QVERIFY(receiver.ProcessIncoming(link.written));
        QCOMPARE(peerDisplay.name, QStringLiteral("z"));
    }
}

void TestTalkProtocol::displayRules_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<bool>("inControl");
    const QByteArray z(1, '\0');
    QTest::addRow("characters") << QByteArray("Hello, world ~") << "Hello, world ~" << 0 << false;
    QTest::addRow("backspace") << "abc" + z + "\x08"
                               << "ab" << 0 << false;
    QTest::addRow("enter") << "a" + z + "\x0D" + "b"
                           << "a\nb" << 0 << false;
    QTest::addRow("backspace takes a line break whole") << "a" + z + "\x0D" + z + "\x08"
                                                        << "a" << 0 << false;
    QTest::addRow("backspace on an empty display") << z + "\x08" + z + "\x08x"
                                                   << "x" << 0 << false;
    QTest::addRow("backspaces past the start") << "ab" + z + "\x08" + z + "\x08" + z + "\x08" + "c"
                                               << "c" << 0 << false;
    QTest::addRow("beep") << z + "G" + z + "G"
                          << "" << 2 << false;
    QTest::addRow("unknown control ignored") << "a" + z + "\x05" + "b" + z + "g"
                                             << "ab" << 0 << false;
    QTest::addRow("zero after escape does nothing") << z + z + "a"
                                                    << "a" << 0 << false;
    QTest::addRow("escape left open") << "a" + z << "a" << 0 << true;
    QTest::addRow("raw line breaks") << QByteArray("a\rb\nc") << "a\nb\nc" << 0 << false;
    QTest::addRow("raw control byte") << QByteArray("\x01") << QString(QChar(QChar::ReplacementCharacter)) << 0
                                      << false;
    QTest::addRow("high bytes") << QByteArray("\x80\xE9") << QStringLiteral("\u20AC\u00E9") << 0 << false;
}

void TestTalkProtocol::displayRules()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    QFETCH(int, beeps);
    QFETCH(bool, inControl);
    const TOutcome outcome = FeedEveryWay(EncodeStream(Key, "Peer", payload));
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.name, QStringLiteral("Peer"));
    QVERIFY(outcome.keyExchanged);
    QVERIFY(!outcome.awaitingName);
    QCOMPARE(outcome.text, text);
    QCOMPARE(outcome.beeps, beeps);
    QCOMPARE(outcome.inControl, inControl);
}

void TestTalkProtocol::oneReadIsOneEdit()
{
    QByteArray payload;
    for (int i = 0; i < 500; ++i)
        payload += QByteArray("ab\0\x08\0\x0D", 6);
    int edits = 0;
    const TOutcome outcome = Feed(EncodeStream(Key, "P", payload), {}, &edits);
    QCOMPARE(edits, 1);
    QCOMPARE(outcome.text.size(), 1000);
    // Nothing to show: no edit at all.
    Feed(EncodeStream(Key, "P", {}), {}, &edits);
    QCOMPARE(edits, 0);
}

void TestTalkProtocol::aliasesArriveWhole_data()
{
    QTest::addColumn<QByteArray>("alias");
    QTest::addColumn<QString>("shown");
    QTest::addRow("30 characters") << QByteArray("abcdefghijklmnopqrstuvwxyz0123") << "abcdefghijklmnopqrstuvwxyz0123";
    QTest::addRow("UTF-8") << QByteArray("Zo\xC3\xAB") << QStringLiteral("Zo\u00EB");
    QTest::addRow("not UTF-8") << QByteArray("Zo\xEB") << QStringLiteral("Zo\u00EB");
    QTest::addRow("empty") << QByteArray() << "";
    QTest::addRow("at the limit") << QByteArray(TTalkProtocol::MaxNameBytes, 'n')
                                  << QString(TTalkProtocol::MaxNameBytes, QLatin1Char('n'));
}

void TestTalkProtocol::aliasesArriveWhole()
{
    QFETCH(QByteArray, alias);
    QFETCH(QString, shown);
    const TOutcome outcome = Feed(EncodeStream(Key, alias, "x"), {});
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.name, shown);
    QCOMPARE(outcome.text, QStringLiteral("x"));
}

void TestTalkProtocol::keysTable_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("letter") << int(Qt::Key_A) << "a" << QByteArray("a");
    QTest::addRow("space, 32") << int(Qt::Key_Space) << " " << QByteArray(" ");
    QTest::addRow("tilde, 126") << int(Qt::Key_AsciiTilde) << "~" << QByteArray("~");
    QTest::addRow("backspace") << int(Qt::Key_Backspace) << "\b" << QByteArray("\0\x08", 2);
    QTest::addRow("return") << int(Qt::Key_Return) << "\r" << QByteArray("\0\x0D", 2);
    QTest::addRow("keypad enter") << int(Qt::Key_Enter) << "\r" << QByteArray("\0\x0D", 2);
    QTest::addRow("delete, 127") << int(Qt::Key_Delete) << "\x7F" << QByteArray();
    QTest::addRow("tab") << int(Qt::Key_Tab) << "\t" << QByteArray();
    QTest::addRow("accented letter") << int(Qt::Key_Eacute) << "\u00E9" << QByteArray();
    QTest::addRow("arrow") << int(Qt::Key_Left) << "" << QByteArray();
}

void TestTalkProtocol::keysTable()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TalkKeys::ForKey(key, text), bytes);
    QCOMPARE(TalkKeys::BeepPair(), QByteArray("\0G", 2));
    QCOMPARE(TalkKeys::ForChar(QLatin1Char('\n')), QByteArray("\0\x0D", 2));
}

void TestTalkProtocol::hostilePeers_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("error");
    using E = TTalkProtocol::TError;
    const qsizetype maxKey = TTalkProtocol::MaxKeyDigits;
    const qsizetype maxName = TTalkProtocol::MaxNameBytes;
    QTest::addRow("key digits at the limit, no =") << QByteArray(maxKey, 'A') << true << int(E::None);
    QTest::addRow("one key digit past the limit") << QByteArray(maxKey + 1, 'A') << false << int(E::KeyTooLong);
    QTest::addRow("long key at the limit with =")
        << EncodeStream(QByteArray(maxKey, 'b'), "x", "y") << true << int(E::None);
    QTest::addRow("not hexadecimal") << QByteArray("12G4=") << false << int(E::KeyNotHex);
    QTest::addRow("not hexadecimal, never an =") << QByteArray("xyz") << false << int(E::KeyNotHex);
    QTest::addRow("sign inside the key") << QByteArray("12-4=") << false << int(E::KeyNotHex);
    QTest::addRow("alias at the limit, no zero")
        << EncodeStream(Key, QByteArray(maxName, 'n'), {}).chopped(1) << true << int(E::None);
    QTest::addRow("alias one past the limit")
        << EncodeStream(Key, QByteArray(maxName + 1, 'n'), {}).chopped(1) << false << int(E::NameTooLong);
}

void TestTalkProtocol::hostilePeers()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, ok);
    QFETCH(int, error);
    const TOutcome outcome = FeedEveryWay(stream);
    QCOMPARE(outcome.ok, ok);
    QCOMPARE(int(outcome.error), error);
    if (!ok) {
        // A dropped connection shows nothing more, whatever follows.
        TModelDisplay display;
        TMemoryLink link;
        TTalkProtocol engine(true, "me", display, link, CountingRandom(1));
        QVERIFY(!engine.ProcessIncoming(stream));
        QVERIFY(!engine.ErrorText().isEmpty());
        // A bad key is answered with nothing; after any failure nothing more goes out.
        QCOMPARE(link.written.isEmpty(), error != int(TTalkProtocol::TError::NameTooLong));
        const QByteArray sent = link.written;
        QVERIFY(!engine.ProcessIncoming(EncodeStream(Key, "late", "text")));
        engine.SendBytes("x");
        QCOMPARE(display.edits, 0);
        QCOMPARE(link.written, sent);
    }
}

void TestTalkProtocol::noRandomNumbers()
{
    const QString message = QStringLiteral("Unable to generate random number, random seed not initialized!");
    for (const int after : {0, 100, 255}) {
        TModelDisplay display;
        TMemoryLink link;
        TTalkProtocol accepting(false, "me", display, link, FailingRandom(after));
        QVERIFY(!accepting.SendKey());
        QCOMPARE(accepting.ErrorText(), message);
        QCOMPARE(accepting.Error(), TTalkProtocol::TError::NoRandom);
        QVERIFY(link.written.isEmpty());
        accepting.SendBytes("x");
        QVERIFY(link.written.isEmpty());
    }
    // The initiator keys after reading the peer's key: it then sends nothing and stops.
    TModelDisplay display;
    TMemoryLink link;
    TTalkProtocol initiator(true, "me", display, link, FailingRandom(3));
    QVERIFY(!initiator.ProcessIncoming(EncodeStream(Key, "Peer", "hello")));
    QCOMPARE(initiator.ErrorText(), message);
    QVERIFY(link.written.isEmpty());
    QCOMPARE(display.keyExchanges, 0);
    QCOMPARE(display.edits, 0);
}

void TestTalkProtocol::displayTextIsBounded()
{
    QString text;
    TTalkEdit edit;
    edit.append = QString(TalkText::MaxDisplayChars, QLatin1Char('a')) + QStringLiteral("bc");
    TalkText::Apply(text, edit);
    QCOMPARE(text.size(), TalkText::MaxDisplayChars);
    QVERIFY(text.endsWith(QStringLiteral("abc")));
    TTalkEdit erase;
    erase.erase = TalkText::MaxDisplayChars * 2;
    TalkText::Apply(text, erase);
    QVERIFY(text.isEmpty());
}

QTEST_GUILESS_MAIN(TestTalkProtocol)
#include "tst_TalkProtocol.moc"
