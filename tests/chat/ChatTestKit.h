#pragma once

// What the chat window tests share: a settings holder on a store of its own, hooks that
// record message boxes and beeps, and a chat form talking to a scripted server.
#include "chat/Beep.h"
#include "chat/Chat.h"
#include "chat/UfrmIRC.h"
#include "common/ScriptedServer.h"
#include "common/StoreFixture.h"
#include "irc/User.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include <memory>

// Made afresh for each test: the default settings on a store of its own, without time
// stamps so lines read as plain text.
class TChatTestKit
{
    TStoreFixture m_store; // made first and freed last: the settings holder uses it

public:
    TChatTestKit()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true); // logs go to a test folder, never the user's
        MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            Boxes << text;
            if (OnBox)
                OnBox(text);
            return Answer;
        });
        Sound::SetBeepHook([this] { ++Beeps; });
        SetConfig(Config.get());
        Config->cbxChatTimeStamp->setChecked(false);
        Config->edtIRCFullName->setText("Test Player");
    }
    ~TChatTestKit()
    {
        MessageBox::SetHook({});
        Sound::SetBeepHook({});
        SetConfig(nullptr);
    }

    std::unique_ptr<TfrmConfig> Config = std::make_unique<TfrmConfig>();
    QStringList Boxes;
    std::function<void(const QString &)> OnBox;
    QMessageBox::StandardButton Answer = QMessageBox::Ok; // what every box answers
    int Beeps = 0;
};

inline QStringList Rows(const TChat *chat)
{
    if (!chat || chat->TextView->document()->isEmpty())
        return {};
    return chat->TextView->toPlainText().split(QLatin1Char('\n'));
}

inline QString Last(const TChat *chat)
{
    return Rows(chat).value(Rows(chat).size() - 1);
}

inline QStringList GridNames(const TChat *chat)
{
    QStringList names;
    for (int row = 0; row < chat->UserGrid->rowCount(); ++row)
        names << (chat->UserGrid->item(row, 0) ? chat->UserGrid->item(row, 0)->text() : QString());
    return names;
}

// A plain IRC form connected to a scripted server, registered as "me" and in #d3 with the
// operator boss and bob.
struct TScriptedChat
{
    TScriptedServer Server;
    QPointer<TfrmIRC> Form;

    bool Open()
    {
        if (!Server.Listen())
            return false;
        Form = new TfrmIRC;
        Form->setAttribute(Qt::WA_DontShowOnScreen);
        Form->show();
        Form->ConnectTo(QString("127.0.0.1"), Server.Port(), QString("me"));
        if (!Server.WaitForClient() || !Server.WaitForLine(QString("NICK me")))
            return false;
        Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:bob!~b@10.0.0.2 JOIN :#d3\r\n:srv 353 me = #d3 :me @boss bob\r\n");
        Sent();
        return Chat("#d3");
    }
    ~TScriptedChat() { delete Form.data(); }
    void Send(const QString &lines) { Server.Send(lines.toUtf8()); }
    // Waits until the form has handled (and drawn) what was sent: its PONG comes after it.
    bool Sync()
    {
        static int serial = 0;
        Server.SendLine(QString("PING :sync%1").arg(++serial));
        return Server.WaitForLine(QString("PONG :sync%1").arg(serial));
    }
    // The lines the server got since the last call, without those of Sync.
    QStringList Sent()
    {
        Sync();
        QStringList lines = Server.Received();
        Server.ClearReceived();
        lines.removeIf([](const QString &line) { return line.startsWith(QLatin1String("PONG :sync")); });
        return lines;
    }
    TChat *Chat(const QString &name) const { return Form ? Form->FindChat(name) : nullptr; }
};
