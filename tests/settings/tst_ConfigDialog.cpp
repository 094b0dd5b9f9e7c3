// The configuration dialog's editing rules, driven through its real widgets. Run under
// Xvfb with QT_QPA_PLATFORM=xcb and ORLO_SCREENSHOT_DIR set, pagesFitAtDefaultSize also
// saves a picture of every page there.
#include "app/UfrmMain.h"
#include "base/Tick.h"
#include "common/FrameStandIn.h"
#include "settings/SettingsStore.h"
#include "settings/StoreTransfer.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "ui/MessageBox.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString ChatKey = QStringLiteral("\\Software\\Orlo\\Chat");
const QString TalkKey = QStringLiteral("\\Software\\Orlo\\Talk");
const QString IrcKey = QStringLiteral("\\Software\\Orlo\\IRC");
const QString LoginKey = QStringLiteral("\\Software\\Orlo\\Login");

struct TBox
{
    QMessageBox::Icon icon;
    QString text;
};

QStringList Items(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

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

    void aliasCheck_data();
    void aliasCheck();
    void awaySelector_data();
    void awaySelector();
    void awaySinceFollowsEveryChange();
    void friendsListReachesChatWindows();
    void channelTabsApplyOnEveryChange();
    void descentPathLosesTrailingSeparators_data();
    void descentPathLosesTrailingSeparators();
    void spinFieldsClampWhenLeft_data();
    void spinFieldsClampWhenLeft();
    void filterCombos_data();
    void filterCombos();
    void filterListDeletesSelection();
    void loginRemove_data();
    void loginRemove();
    void loginAddKeepsWithinStoreLimits();
    void loginRowsMoveWithTheirHeader();
    void cancelRestoresFriendsList();
    void closeBoxKeepsEditsUntilProgramEnd();
    void talkPortsTakeEffectAtOnce();
    void okSavesOrReportsStoreErrors();
    void cancelReportsStoreErrors();
    void pagesFitAtDefaultSize();

private:
    void Type(QWidget *field, const QStringList &lines);
    void Leave(QWidget *field);
    QVariant Stored(const QString &key, const QString &name) const;

    QTemporaryDir m_dir;
    int m_storeNumber = 0;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TFrameStandIn> m_services;
    QList<TBox> m_boxes;
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

QVariant tst_ConfigDialog::Stored(const QString &key, const QString &name) const
{
    return ActiveStore().Value(key, name);
}

void tst_ConfigDialog::aliasCheck_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("warns");
    QTest::newRow("default aliases") << QStringList{"/stfu=/ignore", "/pm=/msg", "/i=/me", "/afk=/away"} << false;
    QTest::newRow("equal after trimming") << QStringList{"/pm=/msg", " /pm =x"} << true;
    QTest::newRow("names differ in case") << QStringList{"/pm=/msg", "/PM=x"} << false;
    QTest::newRow("two empty lines") << QStringList{"/pm=/msg", "", "", "/i=/me"} << true;
    QTest::newRow("one empty line") << QStringList{"/pm=/msg", "", "/i=/me"} << false;
    QTest::newRow("a line without = is its name") << QStringList{"/pm", "/pm=/msg"} << true;
    QTest::newRow("the first = ends the name") << QStringList{"/a=/b=c", "/a=/b"} << true;
    QTest::newRow("three equal names, one warning") << QStringList{"/x=1", "/x=2", "/x=3"} << true;
}

void tst_ConfigDialog::aliasCheck()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, warns);
    Type(m_config->memChatAlias, lines);
    QCOMPARE(m_boxes.size(), 0); // nothing while typing
    Leave(m_config->memChatAlias);
    QCOMPARE(m_boxes.size(), warns ? 1 : 0);
    if (warns) {
        QCOMPARE(m_boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(m_boxes[0].text, QStringLiteral("Two aliases are equal!"));
    }
    QCOMPARE(MemoLines(m_config->memChatAlias), lines); // advice only
}

void tst_ConfigDialog::awaySelector_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("-1") << "-1"
                        << "I'm away...";
    QTest::newRow("0, first line") << "0"
                                   << "gone fishing";
    QTest::newRow("count-1, last line") << "2"
                                        << "at lunch";
    QTest::newRow("count") << "3"
                           << "I'm away...";
}

void tst_ConfigDialog::awaySelector()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    SetMemoLines(m_config->memChatAway, {"gone fishing", "back soon", "at lunch"});
    m_config->speChatAway->setValue(1);
    QCOMPARE(m_config->lblChatAway->text(), QStringLiteral("back soon"));
    Type(m_config->speChatAway, {typed});
    QCOMPARE(m_config->lblChatAway->text(), message);

    // The chat engine's away command sets the selector the same way.
    m_config->speChatAway->setValue(1);
    m_config->speChatAway->setValue(typed.toInt());
    QCOMPARE(m_config->lblChatAway->text(), message);
}

void tst_ConfigDialog::awaySinceFollowsEveryChange()
{
    QCheckBox *away = m_config->cbxChatAway;
    for (bool byUser : {true, false, true}) {
        const quint32 before = TickCount();
        m_config->AwaySince = before - 100000;
        if (byUser) {
            away->setFocus();
            QTest::keyClick(away, Qt::Key_Space);
        } else {
            away->setChecked(!away->isChecked());
        }
        const quint32 after = TickCount();
        QVERIFY2(m_config->AwaySince - before <= after - before, byUser ? "click" : "program");
    }
    QVERIFY(away->isChecked()); // three changes from unchecked
}

void tst_ConfigDialog::friendsListReachesChatWindows()
{
    // Typing counts when the memo is left, not per key.
    Type(m_config->memChatFriends, {"Wingman", "Ace"});
    QCOMPARE(m_services->FriendsApplied, 0);
    QVERIFY(m_config->IsFriend(QStringLiteral(" ace ")));
    Leave(m_config->memChatFriends);
    QCOMPARE(m_services->FriendsApplied, 1);

    // A change by the program (a friend added from a chat window) counts at once.
    SetMemoLines(m_config->memChatFriends, {"Wingman", "Ace", "Rookie"});
    QCOMPARE(m_services->FriendsApplied, 2);

    // Nobody listening: the rule runs all the same.
    m_services.reset();
    SetMemoLines(m_config->memChatFriends, {"Solo"});
    QVERIFY(m_config->IsFriend(QStringLiteral("SOLO")));
}

void tst_ConfigDialog::channelTabsApplyOnEveryChange()
{
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
}

void tst_ConfigDialog::descentPathLosesTrailingSeparators_data()
{
    const bool slash = QDir::separator() == QLatin1Char('/');
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("path");
    QTest::newRow("two backslashes") << "c:\\games\\descent3\\\\"
                                     << "tab"
                                     << "c:\\games\\descent3";
    QTest::newRow("only backslashes") << "\\\\\\"
                                      << "tab"
                                      << "";
    QTest::newRow("nothing to trim") << "c:\\games\\descent3"
                                     << "tab"
                                     << "c:\\games\\descent3";
    QTest::newRow("space after the separator") << "c:\\d3\\ "
                                               << "tab"
                                               << "c:\\d3\\ ";
    QTest::newRow("slashes") << "/opt/descent3//"
                             << "tab" << (slash ? "/opt/descent3" : "/opt/descent3//");
    QTest::newRow("mixed") << "c:\\d3\\/\\"
                           << "tab" << (slash ? "c:\\d3" : "c:\\d3\\/");
    QTest::newRow("close box") << "c:\\games\\descent3\\"
                               << "close"
                               << "c:\\games\\descent3";
    QTest::newRow("to another window") << "c:\\games\\"
                                       << "deactivate"
                                       << "c:\\games\\";
}

void tst_ConfigDialog::descentPathLosesTrailingSeparators()
{
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(QString, path);
    QLineEdit *edit = m_config->edtDescentPath;
    Type(edit, {typed});
    QCOMPARE(edit->text(), typed); // nothing while typing
    if (how == QLatin1String("tab")) {
        Leave(edit);
    } else if (how == QLatin1String("close")) {
        m_config->close();
        QVERIFY(m_config->isHidden());
    } else {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(edit, &out);
    }
    QCOMPARE(edit->text(), path);
}

void tst_ConfigDialog::spinFieldsClampWhenLeft_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    QTest::newRow("below the minimum") << "speChatPingTime"
                                       << "100" << 6000;
    QTest::newRow("above the maximum") << "speChatPingTime"
                                       << "2000000" << 1000000;
    QTest::newRow("at the maximum") << "speChatServerlistTime"
                                    << "1000000" << 1000000;
    QTest::newRow("one below the minimum") << "speChatServerlistTime"
                                           << "6999" << 7000;
    QTest::newRow("empty reads as minimum") << "speChatChannellistTime"
                                            << "" << 8000;
    QTest::newRow("unbounded, negative") << "speServersPing1"
                                         << "-5" << -5;
    QTest::newRow("unbounded, empty") << "speServerFilterPing"
                                      << "" << 0;
    QTest::newRow("unbounded, 32 bits at most") << "speServerFilterPing"
                                                << "99999999999" << 999999999;
}

void tst_ConfigDialog::spinFieldsClampWhenLeft()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, value);
    auto *spin = m_config->findChild<TSpinEdit *>(field);
    QVERIFY(spin);
    Type(spin, {typed});
    QCOMPARE(spin->Value(), value); // consumers never see an out-of-bounds value
    Leave(spin);
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->text(), QString::number(value));
}

void tst_ConfigDialog::filterCombos_data()
{
    QTest::addColumn<QString>("comboName");
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("otherRow");
    QTest::newRow("game type") << "cmbServersFilterGameTypes"
                               << "lbxServersFilterGameType"
                               << "CTF"
                               << "Hyp"
                               << "Anarchy" << 0;
    QTest::newRow("mode") << "cmbServersFilterMode"
                          << "lbxServersFilterMode"
                          << "p2p"
                          << "c/s m"
                          << "c/s" << 0;
    QTest::newRow("level") << "cmbServersFilterLevel"
                           << "lbxServersFilterLevel"
                           << "slw.mn3"
                           << "stone"
                           << "fury.mn3" << 5;
}

void tst_ConfigDialog::filterCombos()
{
    QFETCH(QString, comboName);
    QFETCH(QString, listName);
    QFETCH(QString, item);
    QFETCH(QString, part);
    QFETCH(QString, other);
    QFETCH(int, otherRow);
    auto *combo = m_config->findChild<QComboBox *>(comboName);
    auto *list = m_config->findChild<QListWidget *>(listName);
    QVERIFY(combo && list);
    QCOMPARE(combo->itemText(otherRow), other);

    // Enter adds the typed text once.
    Type(combo, {item});
    QCOMPARE(Items(list), QStringList());
    QTest::keyClick(combo, Qt::Key_Return);
    QCOMPARE(Items(list), QStringList{item});
    QTest::keyClick(combo, Qt::Key_Return);
    Type(combo, {item});
    QTest::keyClick(combo, Qt::Key_Enter);
    QCOMPARE(Items(list), QStringList{item});

    // Typing adds nothing: neither part of an item and Tab, nor a whole item and a click elsewhere.
    Type(combo, {part});
    Leave(combo);
    Type(combo, {other});
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!combo->hasFocus());
    QCOMPARE(Items(list), QStringList{item});

    // Blank text adds nothing.
    Type(combo, {QStringLiteral("  ")});
    QTest::keyClick(combo, Qt::Key_Return);
    QCOMPARE(Items(list), QStringList{item});

    // A pick from the drop-down list adds, in sorted place, once.
    for (int pick = 0; pick < 2; ++pick) {
        combo->showPopup();
        combo->view()->setCurrentIndex(combo->model()->index(otherRow, 0));
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QCoreApplication::sendPostedEvents();
    }
    QStringList sorted{item, other};
    sorted.sort();
    QCOMPARE(Items(list), sorted);

    // Picked again after it was removed from the list: added again.
    list->clearSelection();
    list->findItems(other, Qt::MatchExactly).first()->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(Items(list), QStringList{item});
    combo->showPopup();
    combo->view()->setCurrentIndex(combo->model()->index(otherRow, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QCOMPARE(Items(list), sorted);
}

void tst_ConfigDialog::filterListDeletesSelection()
{
    QListWidget *list = m_config->lbxServersFilterLevel;
    for (const char *level : {"e.mn3", "c.mn3", "a.mn3", "d.mn3", "b.mn3"})
        list->addItem(QString::fromLatin1(level));
    QCOMPARE(Items(list), (QStringList{"a.mn3", "b.mn3", "c.mn3", "d.mn3", "e.mn3"}));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete); // nothing selected
    QCOMPARE(list->count(), 5);
    list->clearSelection();
    for (int row : {0, 2, 3})
        list->item(row)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(Items(list), (QStringList{"b.mn3", "e.mn3"}));
    list->selectAll();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->count(), 0);
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
    QTest::newRow("first row") << 3 << QList<int>{1} << QList<QStringList>{b, c};
    QTest::newRow("last row") << 3 << QList<int>{3} << QList<QStringList>{a, b};
    QTest::newRow("rows 2 and 3: the top one goes") << 3 << QList<int>{3, 2} << QList<QStringList>{a, c};
    QTest::newRow("nothing selected: nothing goes") << 3 << QList<int>{} << QList<QStringList>{a, b, c};
    QTest::newRow("two logins, row 2") << 2 << QList<int>{2} << QList<QStringList>{a};
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
    QTest::mouseClick(m_config->btnLoginRemove, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 1 + int(left.size()));
    QCOMPARE(LoginRow(grid, 0), (QStringList{"Login name", "Password", "Alias", "Comment"}));
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

    // Removing never goes below the header and one row.
    for (int i = 0; i < 4; ++i)
        QTest::mouseClick(m_config->btnLoginRemove, Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 2);

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

void tst_ConfigDialog::loginRowsMoveWithTheirHeader()
{
    QTableWidget *grid = m_config->sgrLogin;
    grid->setRowCount(4);
    for (int r = 1; r <= 3; ++r) {
        SetCellText(grid, r, 1, QStringLiteral("login%1").arg(r));
        SetCellText(grid, r, 2, QStringLiteral("secret%1").arg(r));
    }
    // Dragging row 3's header to the top moves the login, so the stored order follows.
    QHeaderView *rows = grid->verticalHeader();
    rows->moveSection(3, 1);
    for (int r = 0; r < 4; ++r)
        QCOMPARE(rows->visualIndex(r), r);
    QCOMPARE(CellText(grid, 1, 1), QStringLiteral("login3"));
    QCOMPARE(CellText(grid, 2, 1), QStringLiteral("login1"));
    QCOMPARE(CellText(grid, 3, 2), QStringLiteral("secret2"));
    m_config->SaveAll();
    QCOMPARE(Stored(LoginKey, "Login1_1").toString(), QStringLiteral("login3"));

    // The title row stays where it is.
    rows->moveSection(0, 2);
    QCOMPARE(LoginRow(grid, 0), (QStringList{"Login name", "Password", "Alias", "Comment"}));
    QCOMPARE(CellText(grid, 2, 1), QStringLiteral("login1"));

    // The titles head the columns; passwords do not show.
    QCOMPARE(grid->horizontalHeaderItem(3)->text(), QStringLiteral("Alias"));
    auto *delegate = qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForColumn(2));
    QVERIFY(delegate);
    QVERIFY(!delegate->displayText(QStringLiteral("secret1"), QLocale()).contains(QStringLiteral("secret")));
}

void tst_ConfigDialog::cancelRestoresFriendsList()
{
    SetMemoLines(m_config->memChatFriends, {"Wingman"});
    m_config->SaveAll();
    m_services = std::make_unique<TFrameStandIn>();
    m_services->WatchConfig(m_config.get());
    Type(m_config->memChatFriends, {"Wingman", "Stranger"});
    QVERIFY(m_config->IsFriend(QStringLiteral("stranger")));
    QTest::mouseClick(m_config->btnCancel, Qt::LeftButton);
    QVERIFY(m_config->isHidden());
    QCOMPARE(MemoLines(m_config->memChatFriends), QStringList{"Wingman"});
    QVERIFY(!m_config->IsFriend(QStringLiteral("stranger")));
    QVERIFY(m_services->FriendsApplied >= 1); // the chat windows drop the colour again
    QCOMPARE(m_boxes.size(), 0);
}

void tst_ConfigDialog::closeBoxKeepsEditsUntilProgramEnd()
{
    Type(m_config->memChatFriends, {"Wingman"});
    m_config->close();
    QVERIFY(m_config->isHidden());
    QCOMPARE(m_services->FriendsApplied, 1);
    QVERIFY(m_config->IsFriend(QStringLiteral("wingman")));
    QCOMPARE(Stored(ChatKey, "Chat friends list").toInt(), 0);

    // Showing the dialog again reloads nothing.
    m_config->show();
    QCOMPARE(MemoLines(m_config->memChatFriends), QStringList{"Wingman"});

    QCOMPARE(m_config->SaveAllQuietly(), QString()); // program end
    QCOMPARE(Stored(ChatKey, "Chat friends list").toInt(), 1);
    QCOMPARE(Stored(ChatKey, "Chat friends list0").toString(), QStringLiteral("Wingman"));
}

void tst_ConfigDialog::talkPortsTakeEffectAtOnce()
{
    QCOMPARE(FreeTalkPort(), quint16(28046));

    Type(m_config->memTalkServerPorts, {"30001", "30002"});
    QCOMPARE(FreeTalkPort(), quint16(30001)); // the next talk window's port
    m_config->close();
    QCOMPARE(FreeTalkPort(), quint16(30001));
    QCOMPARE(Stored(TalkKey, "Server ports0").toString(), QStringLiteral("28046"));
    QCOMPARE(m_config->SaveAllQuietly(), QString());
    QCOMPARE(Stored(TalkKey, "Server ports").toInt(), 2);
    QCOMPARE(Stored(TalkKey, "Server ports0").toString(), QStringLiteral("30001"));
}

void tst_ConfigDialog::okSavesOrReportsStoreErrors()
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
    QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(m_boxes[0].text.contains(path), qPrintable(m_boxes[0].text));
    QVERIFY(m_config->isVisible()); // nothing lost: the user can fix it and press Ok again
    QCOMPARE(m_config->edtIRCNick->text(), QStringLiteral("Pilot"));

    QVERIFY(QFile::remove(blocker));
    QTest::mouseClick(m_config->btnOk, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_config->isHidden());
    TJsonSettingsStore written(path);
    QCOMPARE(written.Value(IrcKey, "Nick").toString(), QStringLiteral("Pilot"));
}

void tst_ConfigDialog::cancelReportsStoreErrors()
{
    ActiveStore().SetValue(ChatKey, QStringLiteral("Chat ping time"), QStringLiteral("fast"));
    QTest::mouseClick(m_config->btnCancel, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(m_boxes[0].text.contains(QStringLiteral("Invalid data type for 'Chat ping time'")),
             qPrintable(m_boxes[0].text));
    QVERIFY(m_config->isVisible());
}

namespace {
// The controls of a page: widgets whose ancestors up to the page are plain containers.
QList<QWidget *> Controls(QWidget *page)
{
    const auto isContainer = [page](const QWidget *w) {
        return w == page || qobject_cast<const QGroupBox *>(w) || w->metaObject() == &QWidget::staticMetaObject;
    };
    QList<QWidget *> controls;
    for (QWidget *w : page->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(page) || w->metaObject() == &QWidget::staticMetaObject)
            continue;
        bool inContainers = true;
        for (QWidget *p = w->parentWidget(); p && p != page; p = p->parentWidget())
            inContainers = inContainers && isContainer(p);
        if (inContainers)
            controls << w;
    }
    return controls;
}

QString Describe(const QWidget *w)
{
    QString text = w->objectName();
    if (const auto *label = qobject_cast<const QLabel *>(w))
        text += QLatin1Char('"') + label->text() + QLatin1Char('"');
    if (const auto *box = qobject_cast<const QGroupBox *>(w))
        text += QLatin1Char('"') + box->title() + QLatin1Char('"');
    return text + QLatin1Char('(') + QLatin1String(w->metaObject()->className()) + QLatin1Char(')');
}
} // namespace

void tst_ConfigDialog::pagesFitAtDefaultSize()
{
    const QStringList outer{"&Chat",           "&PXO", "&Talk", "S&ecurity", "&Descent", "&Servers",
                            "&File transfers", "&Irc", "&Login"};
    QStringList captions;
    for (int i = 0; i < m_config->pgcConfig->count(); ++i)
        captions << m_config->pgcConfig->tabText(i);
    QCOMPARE(captions, outer);
    QCOMPARE(m_config->pgcChat->tabText(0), QStringLiteral("&General"));
    QCOMPARE(m_config->pgcChat->tabText(1), QStringLiteral("&Colors"));
    QCOMPARE(m_config->pgcChat->tabText(2), QStringLiteral("&Extras"));
    QVERIFY(!m_config->speRC4KeyLength->isEnabled() && !m_config->speRSAKeyLength->isEnabled());
    QCOMPARE(m_config->speRC4KeyLength->value(), 2048);
    QCOMPARE(m_config->speRSAKeyLength->value(), 1024);

    // A long away message must not widen the dialog.
    m_config->lblChatAway->setText(
        QStringLiteral("gone to the hangar to fix my ship, back when the engine runs ").repeated(3));

    const QString shots = qEnvironmentVariable("ORLO_SCREENSHOT_DIR");
    QStringList pages;
    for (int i = 0; i < m_config->pgcConfig->count(); ++i) {
        if (i == 0) {
            pages << QStringLiteral("&General") << QStringLiteral("&Colors") << QStringLiteral("&Extras");
        } else {
            pages << m_config->pgcConfig->tabText(i);
        }
    }
    const QStringList notes{"RSA is not yet implemented", "File transfers are not yet implemented"};
    int notesSeen = 0;
    for (int n = 0; n < pages.size(); ++n) {
        QWidget *page = m_config->Page(pages[n]);
        QVERIFY(page);
        if (n < 3) {
            m_config->pgcConfig->setCurrentIndex(0);
            m_config->pgcChat->setCurrentIndex(n);
        } else {
            m_config->pgcConfig->setCurrentWidget(page);
        }
        QCoreApplication::processEvents();
        const QList<QWidget *> controls = Controls(page);
        QVERIFY(controls.size() >= 3);
        for (QWidget *w : controls) {
            const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
            QVERIFY2(page->rect().contains(r), qPrintable(pages[n] + ": outside: " + Describe(w)));
            const QSize least = w->minimumSizeHint();
            QVERIFY2(w->width() >= least.width() && w->height() >= least.height(),
                     qPrintable(pages[n] + ": squeezed: " + Describe(w)));
            for (QWidget *v : controls) {
                if (v == w || w->isAncestorOf(v) || v->isAncestorOf(w))
                    continue;
                const QRect s(v->mapTo(page, QPoint(0, 0)), v->size());
                QVERIFY2(!r.intersects(s), qPrintable(pages[n] + ": " + Describe(w) + " overlaps " + Describe(v)));
            }
            if (const auto *label = qobject_cast<QLabel *>(w))
                notesSeen += notes.contains(label->text()) ? 1 : 0;
        }
        if (!shots.isEmpty()) {
            QString name = pages[n];
            name.remove(QLatin1Char('&')).replace(QLatin1Char(' '), QLatin1Char('-'));
            QVERIFY(m_config->grab().save(
                QDir(shots).filePath(QStringLiteral("%1-%2.png").arg(n, 2, 10, QLatin1Char('0')).arg(name))));
        }
    }
    QCOMPARE(notesSeen, 2);
    QCOMPARE(m_config->size(), QSize(660, 560));
}

QTEST_MAIN(tst_ConfigDialog)
#include "tst_ConfigDialog.moc"
