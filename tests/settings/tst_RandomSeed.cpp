// The random seed: collected from the mouse, kept in the settings as the generator's state,
// asked for only where a modal window may run.
#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "settings/UfrmRandomSeed.h"
#include "ui/MessageBox.h"

#include "net/SocketEventScope.h"
#include "net/URC4.h"

#include <QApplication>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <functional>
#include <numeric>

namespace {
using TState = std::array<quint8, 256>;

// A shuffled permutation of 0-255 with the given first byte and a second byte of 16 or
// more, so the length of its stored text is known.
TState Permutation(quint32 seed, int first)
{
    TState state;
    std::iota(state.begin(), state.end(), 0);
    QRandomGenerator random(seed);
    std::shuffle(state.begin(), state.end(), random);
    std::swap(state[0], *std::find(state.begin(), state.end(), quint8(first)));
    if (state[1] < 16)
        std::swap(state[1], *std::find(state.begin() + 2, state.end(), quint8(first == 200 ? 201 : 200)));
    return state;
}

QString BitsOf(const TState &state)
{
    QString bits;
    for (const quint8 byte : state)
        bits += QStringLiteral("%1").arg(byte, 8, 2, QLatin1Char('0'));
    return bits;
}

QString HexOf(const TState &state)
{
    QString hex;
    for (const quint8 byte : state)
        hex += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return hex;
}

QVariant StoredSeed()
{
    return ActiveStore().Value(OrloKey(), QString::fromLatin1(StoreNames::RandomSeed));
}

// One run of the program's settings over a store file that outlives it.
struct TRun
{
    std::unique_ptr<TfrmConfig> config;
    explicit TRun(const QString &path)
    {
        SetActiveStore(std::make_unique<TJsonSettingsStore>(path));
        config = std::make_unique<TfrmConfig>();
        SetConfig(config.get());
        if (!config->RandomGenerator)
            config->RandomGenerator = std::make_unique<TRC4>();
    }
    ~TRun() { SetConfig(nullptr); }
    TRC4 &Generator() { return *config->RandomGenerator; }
    void Seed(const TState &state)
    {
        Generator().SetStateBits(BitsOf(state));
        config->RandomSeeded = true;
    }
};

// Runs Action on the seed window once its modal loop runs; a watchdog closes a window the
// action leaves open.
class TSeedWindowDriver
{
public:
    explicit TSeedWindowDriver(std::function<void(TfrmRandomSeed &)> action)
    {
        QTimer::singleShot(0, &m_context, [action] {
            if (auto *window = qobject_cast<TfrmRandomSeed *>(QApplication::activeModalWidget()))
                action(*window);
        });
        QTimer::singleShot(10000, &m_context, [] {
            if (auto *window = qobject_cast<TfrmRandomSeed *>(QApplication::activeModalWidget()))
                window->reject();
        });
    }

private:
    QObject m_context;
};

void FillWithMovements(TfrmRandomSeed &window)
{
    for (int k = 0; k < 512; ++k)
        window.MouseMoved(k * 7, k * 13, quint32(k * 31));
}
} // namespace

class tst_RandomSeed : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void storedStateRoundTrips_data();
    void storedStateRoundTrips();
    void rejectedStoredSeeds_data();
    void rejectedStoredSeeds();
    void randomByteAsksForASeedOnce();
    void noSeedWindowInsideSocketEvents();

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_warnings = 0;
};

void tst_RandomSeed::init()
{
    m_path = m_dir.filePath(QStringLiteral("%1.json").arg(QString::fromLatin1(QTest::currentTestFunction())));
    QFile::remove(m_path);
    m_warnings = 0;
    MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &, QMessageBox::StandardButtons) {
        m_warnings += icon == QMessageBox::Warning ? 1 : 0;
        return QMessageBox::Ok;
    });
}

void tst_RandomSeed::storedStateRoundTrips_data()
{
    QTest::addColumn<int>("firstByte");
    QTest::addColumn<int>("digits");
    QTest::newRow("byte 0 above 15") << 0xA7 << 512;
    QTest::newRow("byte 0 below 16") << 0x05 << 511;
    QTest::newRow("byte 0 is 0") << 0x00 << 510;
}

void tst_RandomSeed::storedStateRoundTrips()
{
    QFETCH(int, firstByte);
    QFETCH(int, digits);
    const TState state = Permutation(quint32(firstByte) + 1, firstByte);
    {
        TRun run(m_path);
        run.Seed(state);
        run.config->StoreRandomSeed(TStoreMode::smSave);
        QCOMPARE(StoredSeed().toString(), HexOf(state).mid(512 - digits));
    }
    TRun next(m_path);
    next.config->Startup();
    QVERIFY(next.config->RandomSeeded);
    QCOMPARE(next.Generator().State(), state);
    QCOMPARE(m_warnings, 0);
    QCOMPARE(StoredSeed().toString(), HexOf(state).mid(512 - digits));

    // Cancel in the settings puts the saved state back, the generator's indices as they are.
    for (int k = 0; k < 10; ++k)
        next.config->GetRandomByte();
    const quint8 j = next.Generator().IndexJ();
    next.config->btnCancelClick();
    QCOMPARE(next.Generator().State(), state);
    QCOMPARE(next.Generator().IndexI(), quint8(10));
    QCOMPARE(next.Generator().IndexJ(), j);
}

void tst_RandomSeed::rejectedStoredSeeds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("storeError");
    TState duplicate;
    std::iota(duplicate.begin(), duplicate.end(), 0);
    duplicate[1] = 0;
    QTest::newRow("all zero state") << QStringLiteral("0") << false;
    QTest::newRow("a byte twice") << HexOf(duplicate) << false;
    QTest::newRow("513 digits") << QStringLiteral("0") + HexOf(Permutation(9, 0x90)) << false;
    QTest::newRow("more than 256 bytes") << QStringLiteral("1") + HexOf(Permutation(10, 0x91)) << false;
    QTest::newRow("negative") << QStringLiteral("-") + HexOf(Permutation(11, 0x92)) << false;
    QTest::newRow("not hexadecimal") << QStringLiteral("12XZ") << true;
}

// A stored seed that is no permutation is left in the store for the user and reported once;
// text that is no number is a store error. Neither undoes a seed made in this run.
void tst_RandomSeed::rejectedStoredSeeds()
{
    QFETCH(QString, text);
    QFETCH(bool, storeError);
    {
        TRun first(m_path);
        ActiveStore().SetValue(OrloKey(), QString::fromLatin1(StoreNames::RandomSeed), text);
    }
    TRun run(m_path);
    const TState fresh = Permutation(12, 0x44);
    for (int round = 0; round < 2; ++round) {
        try {
            run.config->LoadAll();
            QVERIFY(!storeError);
        } catch (const EStoreError &e) {
            QVERIFY(storeError);
            QVERIFY(e.Message().contains(QLatin1String("'Random seed'")) && e.Message().contains(QLatin1String("'Z'")));
            QCOMPARE(e.Location(), m_path);
            QVERIFY(ActiveStore().WritesDisabled());
        }
        QCOMPARE(m_warnings, storeError ? 0 : 1);
        QCOMPARE(run.config->RandomSeeded, round == 1);
        run.config->SaveAllQuietly();
        if (round == 0)
            QCOMPARE(StoredSeed().toString(), text);
        run.Seed(fresh);
    }
    QCOMPARE(run.Generator().State(), fresh);
}

// A byte without a seed asks for one; Cancel or the close box leave the generator as it
// was, Ok keys it from the collected bits, its indices carried on. A second request while
// the window is up fails at once instead of nesting.
void tst_RandomSeed::randomByteAsksForASeedOnce()
{
    TRun run(m_path);
    {
        TSeedWindowDriver driver([](TfrmRandomSeed &window) {
            FillWithMovements(window);
            QTest::mouseClick(window.btnCancel, Qt::LeftButton);
        });
        QVERIFY_THROWS_EXCEPTION(ERandomError, run.config->GetRandomByte());
        QVERIFY(!run.config->RandomSeeded);
    }
    TRC4 &generator = run.Generator();
    generator.NextByte();
    generator.NextByte();
    QString seedBits;
    bool nestedRefused = false;
    bool nestedOpened = false;
    TSeedWindowDriver driver([&](TfrmRandomSeed &window) {
        FillWithMovements(window);
        seedBits = window.Seed().ToBinary();
        QTimer::singleShot(0, &window, [&nestedOpened, &window] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != &window) {
                nestedOpened = true;
                modal->close();
            }
        });
        try {
            run.config->GetRandomByte();
        } catch (const ERandomError &) {
            nestedRefused = true;
        }
        QTest::mouseClick(window.btnOk, Qt::LeftButton);
    });
    const quint8 byte = run.config->GetRandomByte();
    QVERIFY(nestedRefused && !nestedOpened);
    QVERIFY(run.config->RandomSeeded);
    TRC4 reference;
    reference.NextByte();
    reference.NextByte();
    reference.SetKey(seedBits);
    QCOMPARE(byte, reference.NextByte());
    QCOMPARE(run.config->GetRandomByte(), reference.NextByte());
    QCOMPARE(generator.State(), reference.State());

    const auto earlier = generator.State();
    TSeedWindowDriver closer([](TfrmRandomSeed &window) {
        FillWithMovements(window);
        window.close();
    });
    run.config->NewRandomSeed();
    QCOMPARE(generator.State(), earlier);
}

void tst_RandomSeed::noSeedWindowInsideSocketEvents()
{
    TRun run(m_path);
    bool opened = false;
    TSeedWindowDriver unexpected([&opened](TfrmRandomSeed &window) {
        opened = true;
        window.reject();
    });
    {
        TSocketEventScope scope;
        QVERIFY_THROWS_EXCEPTION(ERandomError, run.config->GetRandomByte());
    }
    QVERIFY(!opened);
    // A seeded generator serves socket events as usual.
    run.Seed(Permutation(6, 0x20));
    TSocketEventScope scope;
    run.config->GetRandomByte();
}

QTEST_MAIN(tst_RandomSeed)
#include "tst_RandomSeed.moc"
