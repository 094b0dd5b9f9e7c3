// The configuration dialog's editing rules, driven through its real widgets.
#include "base/Tick.h"
#include "common/FrameStandIn.h"
#include "settings/SettingsStore.h"
#include "settings/StoreNames.h"
#include "settings/StoreTransfer.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "ui/MessageBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString ChatKey = QStringLiteral("\\Software\\Orlo\\Chat");
const QString TalkKey = QStringLiteral("\\Software\\Orlo\\Talk");
const QString IrcKey = QStringLiteral("\\Software\\Orlo\\IRC");

QStringList LoginRow(const QTableWidget *grid, int row)
{
    QStringList cells;
    for (int c = 1; c <= 4; ++c)
        cells << CellText(grid, row, c);
    return cells;
}
} // namespace

class tst_ConfigDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void changesReachChatWindows();
    void fieldsCorrectedWhenLeft_data();
    void fieldsCorrectedWhenLeft();
    void loginRemove_data();
    void loginRemove();
    void loginAddKeepsWithinStoreLimits();
    void cancelRestoresCloseKeeps();
    void storeErrorsAreReported();

private:
    void Type(QWidget *field, const QStringList &lines);
    void Leave(QWidget *field);

    QTemporaryDir m_dir;
    int m_storeNumber = 0;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TFrameStandIn> m_services;
    QList<std::pair<QMessageBox::Icon, QString>> m_boxes; // icon and text
};

void tst_ConfigDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons) {
        m_boxes.append({icon, text});
        return QMessageBox::Ok;
    });
}

void tst_ConfigDialog::init()
{
    SetActiveStore(
        std::make_unique<TJsonSettingsStore>(m_dir.filePath(QStringLiteral("s%1.json").arg(++m_storeNumber))));
    m_config = std::make_unique<TfrmConfig>();
    SetConfig(m_config.get());
    m_config->Startup();
    m_config->show();
    m_config->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_config.get()));
    m_services = std::make_unique<TFrameStandIn>();
    m_services->WatchConfig(m_config.get());
    m_boxes.clear();
}

void tst_ConfigDialog::cleanup()
{
    SetConfig(nullptr);
    m_config.reset();
}

// Replaces the field's text by typing, one key at a time, Return between lines.
void tst_ConfigDialog::Type(QWidget *field, const QStringList &lines)
{
    field->setFocus(Qt::TabFocusReason);
    QVERIFY(field->hasFocus());
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClicks(field, lines[i]);
    }
}

void tst_ConfigDialog::Leave(QWidget *field)
{
    QTest::keyClick(field, Qt::Key_Tab);
    QVERIFY(!field->hasFocus());
    QCoreApplication::sendPostedEvents();
}

void tst_ConfigDialog::changesReachChatWindows()
{
    // Typing in the friends list counts when the memo is left, not per key; a change by the
    // program (a friend added from a chat window) counts at once.
    Type(m_config->memChatFriends, {"Wingman", "Ace"});
    QCOMPARE(m_services->FriendsApplied, 0);
    QVERIFY(m_config->IsFriend(QStringLiteral(" ace ")));
    Leave(m_config->memChatFriends);
    QCOMPARE(m_services->FriendsApplied, 1);
    SetMemoLines(m_config->memChatFriends, {"Wingman", "Ace", "Rookie"});
    QCOMPARE(m_services->FriendsApplied, 2);

    // The away time follows every change of the away box, the user's and the program's.
    QCheckBox *away = m_config->cbxChatAway;
    for (bool byUser : {true, false}) {
        const quint32 before = TickCount();
        m_config->AwaySince = before - 100000;
        if (byUser) {
            away->setFocus();
            QTest::keyClick(away, Qt::Key_Space);
        } else {
            away->setChecked(!away->isChecked());
        }
        QVERIFY2(m_config->AwaySince - before <= TickCount() - before, byUser ? "click" : "program");
    }

    TChoiceBox *tabs = m_config->cmbChatChannelTabsPos;
    QCOMPARE(tabs->Text(), QStringLiteral("Top"));
    tabs->showPopup();
    tabs->view()->setCurrentIndex(tabs->model()->index(1, 0));
    QTest::keyClick(tabs->view(), Qt::Key_Return);
    QCOMPARE(tabs->Text(), QStringLiteral("Left"));
    QCOMPARE(m_services->TabsApplied, 1);
    // Cancel with -1 stored empties the box: the chat windows must hear of that too.
    QTest::mouseClick(m_config->btnCancel, Qt::LeftButton);
    QCOMPARE(tabs->currentIndex(), -1);
    QCOMPARE(tabs->Text(), QString());
    QCOMPARE(m_services->TabsApplied, 2);
    QCOMPARE(ActiveStore().Value(ChatKey, QLatin1String(StoreNames::ChannelTabsPos)).toInt(), -1);
}

void tst_ConfigDialog::fieldsCorrectedWhenLeft_data()
{
    const bool slash = QDir::separator() == QLatin1Char('/');
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("result");
    const auto row = [](const char *name, const char *field, const char *typed, const char *how, const char *result) {
        QTest::newRow(name) << QString::fromLatin1(field) << QString::fromLatin1(typed) << QString::fromLatin1(how)
                            << QString::fromLatin1(result);
    };
    // The game folder loses trailing separators when left, also by the close box; not when
    // the user only looks at another window.
    row("path, two backslashes", "edtDescentPath", "c:\\games\\descent3\\\\", "tab", "c:\\games\\descent3");
    row("path, only backslashes", "edtDescentPath", "\\\\\\", "tab", "");
    row("path, mixed", "edtDescentPath", "c:\\d3\\/\\", "tab", slash ? "c:\\d3" : "c:\\d3\\/");
    row("path, close box", "edtDescentPath", "c:\\games\\descent3\\", "close", "c:\\games\\descent3");
    row("path, to another window", "edtDescentPath", "c:\\games\\", "deactivate", "c:\\games\\");
    // Numbers are clamped to their bounds; their consumers never see a value outside.
    row("below the minimum", "speChatPingTime", "100", "tab", "6000");
    row("above the maximum", "speChatPingTime", "2000000", "tab", "1000000");
    row("one below the minimum", "speChatServerlistTime", "6999", "tab", "7000");
    row("empty reads as minimum", "speChatChannellistTime", "", "tab", "8000");
    row("unbounded, 32 bits at most", "speServerFilterPing", "99999999999", "tab", "999999999");
}

void tst_ConfigDialog::fieldsCorrectedWhenLeft()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(QString, result);
    auto *edit = m_config->findChild<QLineEdit *>(field);
    auto *spin = m_config->findChild<TSpinEdit *>(field);
    QWidget *widget = edit ? static_cast<QWidget *>(edit) : spin;
    QVERIFY(widget);
    Type(widget, {typed});
    if (spin)
        QCOMPARE(spin->Value(), result.toInt());
    else
        QCOMPARE(edit->text(), typed); // nothing while typing
    if (how == QLatin1String("tab")) {
        Leave(widget);
    } else if (how == QLatin1String("close")) {
        m_config->close();
        QVERIFY(m_config->isHidden());
    } else {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(edit, &out);
    }
    QCOMPARE(spin ? spin->text() : edit->text(), result);
    if (spin)
        QCOMPARE(spin->value(), result.toInt());
}

void tst_ConfigDialog::loginRemove_data()
{
    const QStringList a{"alpha", "pa", "Ace", "home"};
    const QStringList b{"bravo", "pb", "Bee", "work"};
    const QStringList c{"charlie", "pc", "Cee", "club"};
    QTest::addColumn<int>("logins");
    QTest::addColumn<QList<int>>("selectedRows");
    QTest::addColumn<QList<QStringList>>("left");
    QTest::newRow("one login: cleared, two rows kept") << 1 << QList<int>{1} << QList<QStringList>{{"", "", "", ""}};
    QTest::newRow("row 2 of 3: row 3 moves up") << 3 << QList<int>{2} << QList<QStringList>{a, c};
    QTest::newRow("last row") << 3 << QList<int>{3} << QList<QStringList>{a, b};
    QTest::newRow("rows 2 and 3: the top one goes") << 3 << QList<int>{3, 2} << QList<QStringList>{a, c};
    QTest::newRow("nothing selected: nothing goes") << 3 << QList<int>{} << QList<QStringList>{a, b, c};
}

void tst_ConfigDialog::loginRemove()
{
    QFETCH(int, logins);
    QFETCH(QList<int>, selectedRows);
    QFETCH(QList<QStringList>, left);
    const QList<QStringList> all{
        {"alpha", "pa", "Ace", "home"}, {"bravo", "pb", "Bee", "work"}, {"charlie", "pc", "Cee", "club"}};
    QTableWidget *grid = m_config->sgrLogin;
    grid->setRowCount(1 + logins);
    for (int r = 1; r <= logins; ++r) {
        for (int col = 1; col <= 4; ++col)
            SetCellText(grid, r, col, all[r - 1][col - 1]);
    }
    grid->clearSelection();
    grid->setCurrentItem(nullptr);
    for (int r : selectedRows)
        grid->item(r, 2)->setSelected(true);
    const QStringList header = LoginRow(grid, 0);
    QTest::mouseClick(m_config->btnLoginRemove, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 1 + int(left.size()));
    QCOMPARE(LoginRow(grid, 0), header);
    for (int r = 1; r < grid->rowCount(); ++r)
        QCOMPARE(LoginRow(grid, r), left[r - 1]);
}

void tst_ConfigDialog::loginAddKeepsWithinStoreLimits()
{
    QTableWidget *grid = m_config->sgrLogin;
    SetCellText(grid, 1, 1, QStringLiteral("alpha"));
    QTest::mouseClick(m_config->btnLoginAdd, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(LoginRow(grid, 2), (QStringList{"", "", "", ""}));
    QCOMPARE(grid->currentRow(), 2);
    QCOMPARE(CellText(grid, 1, 1), QStringLiteral("alpha"));

    // A grid the store could not read back is never made.
    grid->setRowCount(StoreTransfer::MaxGridRows - 1);
    QTest::mouseClick(m_config->btnLoginAdd, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), StoreTransfer::MaxGridRows);
    QTest::mouseClick(m_config->btnLoginAdd, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), StoreTransfer::MaxGridRows);
    m_config->SaveAll();
    m_config->LoadAll();
    QCOMPARE(grid->rowCount(), StoreTransfer::MaxGridRows);
}

// Cancel puts back what is stored (the chat windows hear of it). The close box only hides:
// the edits are in force at once (the next talk window's port) and saved at program end.
void tst_ConfigDialog::cancelRestoresCloseKeeps()
{
    SetMemoLines(m_config->memChatFriends, {"Wingman"});
    m_config->SaveAll();
    Type(m_config->memChatFriends, {"Wingman", "Stranger"});
    const int applied = m_services->FriendsApplied;
    QTest::mouseClick(m_config->btnCancel, Qt::LeftButton);
    QVERIFY(m_config->isHidden());
    QCOMPARE(MemoLines(m_config->memChatFriends), QStringList{"Wingman"});
    QVERIFY(!m_config->IsFriend(QStringLiteral("stranger")));
    QVERIFY(m_services->FriendsApplied > applied);

    m_config->show();
    QCOMPARE(FreeTalkPort(), quint16(28046));
    SetMemoLines(m_config->memTalkServerPorts, {"30001", "30002"});
    QCOMPARE(FreeTalkPort(), quint16(30001));
    m_config->close();
    QVERIFY(m_config->isHidden());
    QCOMPARE(ActiveStore().Value(TalkKey, "Server ports0").toString(), QStringLiteral("28046"));
    m_config->show(); // showing the dialog again reloads nothing
    QCOMPARE(MemoLines(m_config->memTalkServerPorts), (QStringList{"30001", "30002"}));
    QCOMPARE(m_config->SaveAllQuietly(), QString()); // program end
    QCOMPARE(ActiveStore().Value(TalkKey, "Server ports").toInt(), 2);
    QCOMPARE(ActiveStore().Value(TalkKey, "Server ports0").toString(), QStringLiteral("30001"));
    QCOMPARE(m_boxes.size(), 0);
}

// Ok on a store that cannot be written tells where and keeps the dialog and its values for
// another try; Cancel over a value of the wrong kind tells which.
void tst_ConfigDialog::storeErrorsAreReported()
{
    // A folder that cannot be made (a file is in its way) makes every write fail.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + QStringLiteral("/settings.json");
    SetActiveStore(std::make_unique<TJsonSettingsStore>(path));

    Type(m_config->edtIRCNick, {"Pilot"});
    QTest::mouseClick(m_config->btnOk, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].first, QMessageBox::Critical);
    QVERIFY2(m_boxes[0].second.contains(path), qPrintable(m_boxes[0].second));
    QVERIFY(m_config->isVisible());
    QCOMPARE(m_config->edtIRCNick->text(), QStringLiteral("Pilot"));

    QVERIFY(QFile::remove(blocker));
    QTest::mouseClick(m_config->btnOk, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_config->isHidden());
    QCOMPARE(TJsonSettingsStore(path).Value(IrcKey, "Nick").toString(), QStringLiteral("Pilot"));

    m_config->show();
    ActiveStore().SetValue(ChatKey, QStringLiteral("Chat ping time"), QStringLiteral("fast"));
    QTest::mouseClick(m_config->btnCancel, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 2);
    QVERIFY2(m_boxes[1].second.contains(QStringLiteral("Invalid data type for 'Chat ping time'")),
             qPrintable(m_boxes[1].second));
    QVERIFY(m_config->isVisible());
}

QTEST_MAIN(tst_ConfigDialog)
#include "tst_ConfigDialog.moc"
