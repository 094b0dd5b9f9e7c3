#pragma once

// What the chat window tests share: a settings holder on a temporary store, hooks that
// record message boxes and beeps, and a chat form talking to a scripted server.
#include "chat/Beep.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "chat/UfrmIRC.h"
#include "common/ScriptedServer.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <memory>

class TChatTestKit
{
public:
    TChatTestKit()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // Logs and other data files go to a test folder, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        SetActiveStore(std::make_unique<TJsonSettingsStore>(m_dir.filePath(QStringLiteral("settings.json"))));
        Config = std::make_unique<TfrmConfig>();
        SetConfig(Config.get());
        MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            Boxes << text;
            if (OnBox)
                OnBox(text);
            return Answer;
        });
        Sound::SetBeepHook([this] { ++Beeps; });
    }
    ~TChatTestKit()
    {
        MessageBox::SetHook({});
        Sound::SetBeepHook({});
        SetConfig(nullptr);
    }

    // Settings back to a known state; no time stamps so lines read as plain text.
    void Reset()
    {
        Boxes.clear();
        OnBox = nullptr;
        Answer = QMessageBox::Ok;
        Beeps = 0;
        Config->cbxChatLog->setChecked(false);
        Config->cbxChatReconnect->setChecked(false);
        Config->speChatSendBurst->SetValue(5);
        Config->speChatSendInterval->SetValue(2000);
        Config->speChatLinesKept->SetValue(10000);
        SetMemoLines(Config->memChatHighlight, {});
        Config->cbxChatTimeStamp->setChecked(false);
        Config->cbxChatMessageSound->setChecked(false);
        Config->cbxChatMessageFriendSound->setChecked(false);
        Config->cbxChatJoinFriendSound->setChecked(false);
        Config->cbxChatAway->setChecked(false);
        Config->lblChatAway->setText(QStringLiteral("I'm away..."));
        SetMemoLines(Config->memChatFriends, {});
        SetMemoLines(Config->memChatAway, {});
        SetMemoLines(Config->memChatAlias, {QStringLiteral("/stfu=/ignore"), QStringLiteral("/pm=/msg"),
                                            QStringLiteral("/i=/me"), QStringLiteral("/afk=/away")});
        Config->edtIRCFullName->setText(QStringLiteral("Test Player"));
    }

    std::unique_ptr<TfrmConfig> Config;
    QStringList Boxes;
    std::function<void(const QString &)> OnBox;
    QMessageBox::StandardButton Answer = QMessageBox::Ok; // what every box answers
    int Beeps = 0;

private:
    QTemporaryDir m_dir;
};

// The rows of a tab's text view.
inline QStringList Rows(const TChat *chat)
{
    if (!chat)
        return {};
    const QString text = chat->TextView->toPlainText();
    return text.isEmpty() && chat->TextView->document()->blockCount() <= 1 ? QStringList()
                                                                           : text.split(QLatin1Char('\n'));
}

// The colour of the last character of a row.
inline QColor RowColor(const TChat *chat, int row)
{
    const QTextBlock block = chat->TextView->document()->findBlockByNumber(row);
    QColor color;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        color = it.fragment().charFormat().foreground().color();
    return color;
}

inline QStringList GridNames(const TChat *chat)
{
    QStringList names;
    for (int row = 0; row < chat->UserGrid->rowCount(); ++row) {
        const QTableWidgetItem *item = chat->UserGrid->item(row, 0);
        names << (item ? item->text() : QString());
    }
    return names;
}

// A plain IRC form connected to a scripted server and registered as "me".
struct TScriptedChat
{
    TScriptedServer Server;
    QPointer<TfrmIRC> Form;

    bool Open(const QString &nick = QStringLiteral("me"))
    {
        if (!Server.Listen())
            return false;
        Form = new TfrmIRC;
        Form->setAttribute(Qt::WA_DontShowOnScreen);
        Form->show();
        Form->ConnectTo(QStringLiteral("127.0.0.1"), Server.Port(), nick);
        return Server.WaitForClient() && Server.WaitForLine(QStringLiteral("NICK ") + nick);
    }
    ~TScriptedChat() { delete Form.data(); }
    void Send(const QString &lines) { Server.Send(lines.toUtf8()); }
    // Waits until the form has handled everything sent so far: its PONG to our PING comes
    // after the lines before it, and the views are drawn before it can be read.
    bool Sync()
    {
        static int serial = 0;
        const QString token = QStringLiteral("sync%1").arg(++serial);
        Server.SendLine(QStringLiteral("PING :") + token);
        return Server.WaitForLine(QStringLiteral("PONG :") + token);
    }
    TChat *Chat(const QString &name) const { return Form ? Form->FindChat(name) : nullptr; }
};
