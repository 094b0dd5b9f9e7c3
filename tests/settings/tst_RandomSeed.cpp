#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "settings/UfrmRandomSeed.h"
#include "ui/MessageBox.h"

#include "net/SocketEventScope.h"
#include "net/URC4.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
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
const QString NotInitialized = QStringLiteral("Unable to generate random number, random seed not initialized!");

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

QString StoredSeed()
{
    TRegistry reg;
    reg.OpenKey(OrloKey());
    return reg.ReadString(QString::fromLatin1(StoreNames::RandomSeed));
}

void StoreSeedText(const QString &text)
{
    TRegistry reg;
    reg.OpenKey(OrloKey());
    reg.WriteString(QString::fromLatin1(StoreNames::RandomSeed), text);
}

// Runs Action on the seed window once its modal loop is running. A watchdog closes the
// window should the action never do so.
class TSeedWindowDriver
{
public:
    explicit TSeedWindowDriver(std::function<void(TfrmRandomSeed &)> action)
    {
        QTimer::singleShot(0, &m_context, [action] {
            if (auto *window = qobject_cast<TfrmRandomSeed *>(QApplication::activeModalWidget()))
                action(*window);
        });
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, &m_context, [] {
            if (auto *window = qobject_cast<TfrmRandomSeed *>(QApplication::activeModalWidget()))
                window->reject();
        });
        m_watchdog.start(10000);
    }

private:
    QObject m_context;
    QTimer m_watchdog;
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
    void cleanup();
    void windowShowsItsTexts();
    void mouseMovementsFillTheBar();
    void bitsEnterMostSignificantFirst();
    void instructionBlinks();
    void cancelOrCloseEmptyTheSeed();
    void storedStateRoundTrips_data();
    void storedStateRoundTrips();
    void cancelPutsBackTheSavedStateKeepingTheIndices();
    void rejectedStoredSeeds_data();
    void rejectedStoredSeeds();
    void nonHexadecimalSeedIsAStoreError();
    void randomByteAsksForASeedOnce();
    void cancelledSeedFailsOrKeepsTheEarlierOne();
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
        if (icon == QMessageBox::Warning)
            ++m_warnings;
        return QMessageBox::Ok;
    });
}

void tst_RandomSeed::cleanup()
{
    MessageBox::SetHook({});
}

void tst_RandomSeed::windowShowsItsTexts()
{
    TfrmRandomSeed window(nullptr, 2048);
    QCOMPARE(window.windowTitle(), QStringLiteral("Random seed generator"));
    QCOMPARE(window.size(), QSize(552, 339));
    QCOMPARE(window.lblInstruction->text(),
             QStringLiteral("Please move the mouse randomly above until the progress bar is filled"));
    const QStringList lines = TfrmRandomSeed::ExplanationLines();
    QCOMPARE(lines.size(), 8);
    for (int k = 0; k < 7; ++k)
        QVERIFY(lines[k].endsWith(QLatin1Char(' ')));
    QVERIFY(lines.last().endsWith(QLatin1String("then press Ok.")));
    QCOMPARE(window.memExplanation->toPlainText(), lines.join(QString()));
    QVERIFY(window.memExplanation->isReadOnly());
    QCOMPARE(window.btnOk->text(), QStringLiteral("&Ok"));
    QCOMPARE(window.btnCancel->text(), QStringLiteral("&Cancel"));
    QVERIFY(!window.btnOk->isEnabled());
    QCOMPARE(window.prbCollected->maximum(), 2048);
    QCOMPARE(window.Wanted(), 2048);
    QCOMPARE(window.Collected(), 0);
    QCOMPARE(window.Timer->interval(), 350);
    QVERIFY(window.Timer->isActive());
}

void tst_RandomSeed::mouseMovementsFillTheBar()
{
    TfrmRandomSeed window(nullptr, 2048);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *area = window.memExplanation->viewport();
    auto move = [area](int k) { QTest::mouseMove(area, QPoint(5 + k % 200, 5 + (k / 200) * 3 + k % 2)); };
    for (int k = 0; k < 511; ++k)
        move(k);
    QCOMPARE(window.Collected(), 2044);
    QCOMPARE(window.prbCollected->value(), 2044);
    QVERIFY(!window.btnOk->isEnabled());
    move(511);
    QCOMPARE(window.Collected(), 2048);
    QCOMPARE(window.prbCollected->value(), 2048);
    QVERIFY(window.btnOk->isEnabled());

    const QString full = window.Seed().ToBinary();
    for (int k = 512; k < 530; ++k)
        move(k);
    QCOMPARE(window.Collected(), 2048);
    QCOMPARE(window.Seed().ToBinary(), full);
    QVERIFY(full.size() <= 2048);
}

void tst_RandomSeed::bitsEnterMostSignificantFirst()
{
    TfrmRandomSeed window(nullptr, 6);
    // e = tick ^ x ^ y, low 8 bits of each: 0x1FF ^ 0x0FE ^ 0 = 0x01
    window.MouseMoved(0x0FE, 0, 0x1FF);
    QCOMPARE(window.Seed().ToBinary(), QStringLiteral("1000"));
    QCOMPARE(window.Collected(), 4);
    // Only two of the four bits of e = 2 fit.
    window.MouseMoved(0, 3, 1);
    QCOMPARE(window.Collected(), 6);
    QCOMPARE(window.Seed().ToBinary(), QStringLiteral("100001"));
    QVERIFY(window.btnOk->isEnabled());
    window.MouseMoved(0, 0, 0xFF);
    QCOMPARE(window.Seed().ToBinary(), QStringLiteral("100001"));
}

void tst_RandomSeed::instructionBlinks()
{
    TfrmRandomSeed window(nullptr, 2048);
    auto colour = [&window] { return window.lblInstruction->palette().color(QPalette::WindowText); };
    QCOMPARE(colour(), QColor(0x80, 0, 0));
    window.TimerTimer();
    QCOMPARE(colour(), QColor(0xFF, 0, 0));
    window.TimerTimer();
    QCOMPARE(colour(), QColor(0x80, 0, 0));
}

void tst_RandomSeed::cancelOrCloseEmptyTheSeed()
{
    for (const bool byButton : {true, false}) {
        TfrmRandomSeed window(nullptr, 2048);
        window.show();
        FillWithMovements(window);
        QVERIFY(!window.Seed().ToBinary().isEmpty());
        if (byButton)
            QTest::mouseClick(window.btnCancel, Qt::LeftButton);
        else
            window.close();
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(window.Seed().ToBinary(), QString());
    }
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
        const QString stored = StoredSeed();
        QCOMPARE(stored.size(), digits);
        QVERIFY(!stored.startsWith(QLatin1Char('0')));
        QCOMPARE(stored, HexOf(state).mid(512 - digits));
    }
    TRun next(m_path);
    QVERIFY(!next.config->RandomSeeded);
    next.config->Startup();
    QVERIFY(next.config->RandomSeeded);
    QCOMPARE(next.Generator().State(), state);
    QCOMPARE(next.Generator().IndexI(), quint8(0));
    QCOMPARE(m_warnings, 0);
    // Start-up saved it again, unchanged.
    QCOMPARE(StoredSeed(), HexOf(state).mid(512 - digits));
}

void tst_RandomSeed::cancelPutsBackTheSavedStateKeepingTheIndices()
{
    TRun run(m_path);
    const TState saved = Permutation(77, 0x33);
    run.Seed(saved);
    run.config->SaveAll();
    for (int k = 0; k < 10; ++k)
        run.config->GetRandomByte();
    QVERIFY(run.Generator().State() != saved);
    const quint8 j = run.Generator().IndexJ();

    run.config->btnCancelClick();
    QCOMPARE(run.Generator().State(), saved);
    QCOMPARE(run.Generator().IndexI(), quint8(10));
    QCOMPARE(run.Generator().IndexJ(), j);
    QVERIFY(run.config->RandomSeeded);
}

void tst_RandomSeed::rejectedStoredSeeds_data()
{
    QTest::addColumn<QString>("text");
    TState duplicate;
    std::iota(duplicate.begin(), duplicate.end(), 0);
    duplicate[1] = 0;
    QTest::newRow("all zero state") << QStringLiteral("0");
    QTest::newRow("a byte twice") << HexOf(duplicate);
    QTest::newRow("513 digits") << QStringLiteral("0") + HexOf(Permutation(9, 0x90));
    QTest::newRow("more than 256 bytes") << QStringLiteral("1") + HexOf(Permutation(10, 0x91));
    QTest::newRow("negative") << QStringLiteral("-") + HexOf(Permutation(11, 0x92));
}

void tst_RandomSeed::rejectedStoredSeeds()
{
    QFETCH(QString, text);
    {
        TRun first(m_path);
        StoreSeedText(text);
    }
    TRun run(m_path);
    run.config->Startup();
    QVERIFY(!run.config->RandomSeeded);
    QCOMPARE(m_warnings, 1);
    // Left in the store for the user; reported once only.
    QCOMPARE(StoredSeed(), text);
    run.config->LoadAll();
    QCOMPARE(m_warnings, 1);

    // A seed made in this run is not undone by the rejected value.
    const TState fresh = Permutation(12, 0x44);
    run.Seed(fresh);
    run.config->StoreRandomSeed(TStoreMode::smLoad);
    QVERIFY(run.config->RandomSeeded);
    QCOMPARE(run.Generator().State(), fresh);
    // With no seed, asking for a byte outside the modal rule fails instead of using it.
    run.config->RandomSeeded = false;
    bool opened = false;
    TSeedWindowDriver unexpected([&opened](TfrmRandomSeed &window) {
        opened = true;
        window.reject();
    });
    TSocketEventScope scope;
    QVERIFY_THROWS_EXCEPTION(ERandomError, run.config->GetRandomByte());
    QVERIFY(!opened);
}

void tst_RandomSeed::nonHexadecimalSeedIsAStoreError()
{
    {
        TRun first(m_path);
        StoreSeedText(QStringLiteral("12XZ"));
    }
    TRun run(m_path);
    try {
        run.config->LoadAll();
        QFAIL("the load went through");
    } catch (const EStoreError &e) {
        QVERIFY(e.Message().contains(QLatin1String("'Random seed'")));
        QVERIFY(e.Message().contains(QLatin1String("'Z'")));
        QCOMPARE(e.Location(), m_path);
    }
    QVERIFY(!run.config->RandomSeeded);
    QVERIFY(ActiveStore().WritesDisabled());
    QVERIFY(!ActiveStore().FirstError().isEmpty());
}

void tst_RandomSeed::randomByteAsksForASeedOnce()
{
    TRun run(m_path);
    TRC4 &generator = run.Generator();
    generator.NextByte();
    generator.NextByte();
    QString seedBits;
    bool nestedRefused = false;
    bool nestedOpened = false;
    QObject context;
    TSeedWindowDriver driver([&](TfrmRandomSeed &window) {
        FillWithMovements(window);
        seedBits = window.Seed().ToBinary();
        // A second request while the window is up fails at once instead of nesting.
        QTimer::singleShot(0, &context, [&nestedOpened, outer = &window] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != outer) {
                nestedOpened = true;
                modal->close();
            }
        });
        try {
            run.config->GetRandomByte();
        } catch (const ERandomError &e) {
            nestedRefused = e.Message() == NotInitialized;
        }
        QTest::mouseClick(window.btnOk, Qt::LeftButton);
    });
    const quint8 byte = run.config->GetRandomByte();
    QVERIFY(nestedRefused);
    QVERIFY(!nestedOpened);
    QVERIFY(run.config->RandomSeeded);
    QVERIFY(!seedBits.isEmpty());

    // Keyed from the collected bits; the indices carried on from the two earlier bytes.
    TRC4 reference;
    reference.NextByte();
    reference.NextByte();
    reference.SetKey(seedBits);
    QCOMPARE(byte, reference.NextByte());
    QCOMPARE(run.config->GetRandomByte(), reference.NextByte());
    QCOMPARE(generator.State(), reference.State());
}

void tst_RandomSeed::cancelledSeedFailsOrKeepsTheEarlierOne()
{
    TRun run(m_path);
    {
        TSeedWindowDriver driver([](TfrmRandomSeed &window) {
            FillWithMovements(window);
            QTest::mouseClick(window.btnCancel, Qt::LeftButton);
        });
        try {
            run.config->GetRandomByte();
            QFAIL("a byte without a seed");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), NotInitialized);
        }
        QVERIFY(!run.config->RandomSeeded);
    }
    const TState earlier = Permutation(5, 0x10);
    run.Seed(earlier);
    TSeedWindowDriver driver([](TfrmRandomSeed &window) { window.close(); });
    run.config->NewRandomSeed();
    QVERIFY(run.config->RandomSeeded);
    QCOMPARE(run.Generator().State(), earlier);
}

void tst_RandomSeed::noSeedWindowInsideSocketEvents()
{
    TRun run(m_path);
    {
        bool opened = false;
        TSeedWindowDriver unexpected([&opened](TfrmRandomSeed &window) {
            opened = true;
            window.reject();
        });
        TSocketEventScope scope;
        try {
            run.config->GetRandomByte();
            QFAIL("a byte without a seed");
        } catch (const ERandomError &e) {
            QCOMPARE(e.Message(), NotInitialized);
        }
        QVERIFY(!opened);
    }
    // A seeded generator serves socket events as usual.
    run.Seed(Permutation(6, 0x20));
    TSocketEventScope scope;
    TRC4 reference;
    reference.SetStateBits(BitsOf(Permutation(6, 0x20)));
    QCOMPARE(run.config->GetRandomByte(), reference.NextByte());
}

QTEST_MAIN(tst_RandomSeed)
#include "tst_RandomSeed.moc"
