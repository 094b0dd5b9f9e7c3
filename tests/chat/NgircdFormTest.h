#pragma once

// What the tests of the plain IRC form against a real IRC server share: a fresh ngircd for
// every test function, and the form freed after it.
#include "ChatTestKit.h"

#include "common/NgircdFixture.h"

#include <QPointer>
#include <QTest>

#include <memory>

class TNgircdFormTest : public QObject
{
    Q_OBJECT

protected:
    static constexpr int Wait = 15000; // the server slows down clients that send in bursts

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<TNgircd> m_server;
    QPointer<TfrmIRC> m_form;

    // The form, registered as Nick on the test server.
    bool Connect(TfrmIRC *form, const QString &nick)
    {
        m_form = form;
        form->setAttribute(Qt::WA_DontShowOnScreen);
        form->show();
        form->ConnectTo(m_server->Host(), m_server->Port(), nick);
        return QTest::qWaitFor([&] { return m_form && Rows(m_form->Misc()).join('\n').contains("test network"); },
                               Wait);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(TNgircd::Available(), "ngircd is needed: scripts/install-deps.sh installs it");
        m_kit = std::make_unique<TChatTestKit>();
    }

    void init()
    {
        m_kit->Reset();
        m_server = std::make_unique<TNgircd>();
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
    }

    void cleanup()
    {
        delete m_form.data();
        m_server.reset();
    }

    void cleanupTestCase() { m_kit.reset(); }
};
