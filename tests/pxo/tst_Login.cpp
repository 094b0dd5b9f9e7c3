// The login dialog: its stored values, the stored players, the keys and a refused alias.
#include "PXOTestKit.h"

#include "pxo/UfrmLogin.h"
#include "settings/Registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>

class tst_Login : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;

    static void SetRow(QTableWidget *grid, int row, const QStringList &cells)
    {
        if (grid->rowCount() <= row)
            grid->setRowCount(row + 1);
        for (int c = 0; c < cells.size(); ++c)
            grid->setItem(row, c + 1, new QTableWidgetItem(cells[c]));
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    // Values come back in the next dialog; the password only while "Save password" is on.
    void valuesKept_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("password saved") << true;
        QTest::newRow("password not saved") << false;
    }
    void valuesKept()
    {
        QFETCH(bool, save);
        {
            TfrmLogin login;
            login.edtUserName->setText(QStringLiteral("pilot"));
            login.edtPassword->setText(QStringLiteral("se cret$"));
            login.edtAlias->setText(QStringLiteral("Big Bad"));
            login.cbxSavePassword->setChecked(save);
            login.btnOk->click();
            QCOMPARE(login.result(), int(QDialog::Accepted));
        }
        TfrmLogin again;
        QCOMPARE(again.edtUserName->text(), QStringLiteral("pilot"));
        QCOMPARE(again.edtAlias->text(), QStringLiteral("Big Bad"));
        QCOMPARE(again.cbxSavePassword->isChecked(), save);
        QCOMPARE(again.edtPassword->text(), save ? QStringLiteral("se cret$") : QString());
        // Stored in the lobby's section, where the tracker hosts are.
        TRegistry reg;
        reg.OpenKey(OrloKey(QStringLiteral("\\PXO")));
        QCOMPARE(reg.ReadString(QStringLiteral("User name")), QStringLiteral("pilot"));
        QCOMPARE(reg.ReadString(QStringLiteral("Alias")), QStringLiteral("Big Bad"));
    }

    // Cancel (and Escape) write nothing.
    void cancelWritesNothing()
    {
        {
            TfrmLogin login;
            login.edtUserName->setText(QStringLiteral("first"));
            login.edtAlias->setText(QStringLiteral("first"));
            login.btnOk->click();
        }
        TfrmLogin login;
        login.setAttribute(Qt::WA_DontShowOnScreen);
        login.show();
        login.edtUserName->setText(QStringLiteral("second"));
        QTest::keyClick(login.edtUserName, Qt::Key_Escape);
        QCOMPARE(login.result(), int(QDialog::Rejected));
        TfrmLogin again;
        QCOMPARE(again.edtUserName->text(), QStringLiteral("first"));
    }

    // Enter in an edit acts as Ok; an alias that gives no nick is refused with a note.
    void enterAndAlias_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << QStringLiteral("Mr X") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("full stop first") << QStringLiteral(".hidden") << false;
        QTest::newRow("apostrophe first") << QStringLiteral("'quote") << false;
        QTest::newRow("apostrophe later") << QStringLiteral("O'Neil") << true;
    }
    void enterAndAlias()
    {
        QFETCH(QString, alias);
        QFETCH(bool, accepted);
        TfrmLogin login;
        login.setAttribute(Qt::WA_DontShowOnScreen);
        login.show();
        login.edtUserName->setText(QStringLiteral("pilot"));
        login.edtAlias->setText(alias);
        QTest::keyClick(login.edtAlias, Qt::Key_Return);
        QCOMPARE(login.result() == QDialog::Accepted, accepted);
        QCOMPARE(m_kit->Boxes.size(), accepted ? 0 : 1);
    }

    // Stored players come from the configuration's login grid; choosing one fills the edits.
    void storedPlayers()
    {
        QTableWidget *grid = m_kit->Config->sgrLogin;
        const int rows = grid->rowCount();
        SetRow(grid, 1,
               {QStringLiteral("user1"), QStringLiteral("pw1"), QStringLiteral("Alias One"), QStringLiteral("main")});
        SetRow(grid, 2,
               {QStringLiteral("user2"), QStringLiteral("pw2"), QStringLiteral("Alias Two"), QStringLiteral("spare")});
        TfrmLogin login;
        QCOMPARE(login.cmbStoredPlayers->count(), grid->rowCount() - 1);
        QCOMPARE(login.cmbStoredPlayers->itemText(1), QStringLiteral("Alias Two (spare)"));
        login.cmbStoredPlayers->setCurrentIndex(1);
        QCOMPARE(login.edtUserName->text(), QStringLiteral("user2"));
        QCOMPARE(login.edtPassword->text(), QStringLiteral("pw2"));
        QCOMPARE(login.edtAlias->text(), QStringLiteral("Alias Two"));
        grid->setRowCount(rows);
    }
};

QTEST_MAIN(tst_Login)
#include "tst_Login.moc"
