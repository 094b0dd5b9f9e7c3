#pragma once

// What the chat window tests share: a settings holder on a temporary store, hooks that
// record message boxes and beeps, and a chat form talking to a scripted server.
#include "chat/Beep.h"
#include "chat/Chat.h"
#include "chat/UfrmIRC.h"
#include "common/ScriptedServer.h"
#include "irc/User.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QTableWidget>
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

    // The default settings on a fresh store, without time stamps so lines read as plain text.
    void Reset()
    {
        Boxes.clear();
        OnBox = nullptr;
        Answer = QMessageBox::Ok;
        Beeps = 0;
        SetConfig(nullptr);
        Config.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        SetActiveStore(std::make_unique<TJsonSettingsStore>(m_dir->filePath("settings.json")));
        Config = std::make_unique<TfrmConfig>();
        SetConfig(Config.get());
        Config->cbxChatTimeStamp->setChecked(false);
        Config->edtIRCFullName->setText("Test Player");
    }

    std::unique_ptr<TfrmConfig> Config;
    QStringList Boxes;
    std::function<void(const QString &)> OnBox;
    QMessageBox::StandardButton Answer = QMessageBox::Ok; // what every box answers
    int Beeps = 0;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The rows of a tab's text view.
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

// The colour of a row's text (its last character) and of its first piece (the nick part).
inline QColor RowColor(const TChat *chat, int row, bool first = false)
{
    const QTextBlock block =
        chat->TextView->document()->findBlockByNumber(row < 0 ? int(Rows(chat).size()) + row : row);
    QColor color;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        color = it.fragment().charFormat().foreground().color();
        if (first)
            break;
    }
    return color;
}

inline QStringList GridNames(const TChat *chat)
{
    QStringList names;
    for (int row = 0; row < chat->UserGrid->rowCount(); ++row)
        names << (chat->UserGrid->item(row, 0) ? chat->UserGrid->item(row, 0)->text() : QString());
    return names;
}

// A chat form connected to a scripted server, registered as "me" and in #d3 with the
// operator boss and bob. Raw: the plain IRC form; else the chat form as the lobby has it.
struct TScriptedChat
{
    class TLobbyLike : public TfrmChat
    {
    public:
        using TfrmChat::OpenConnection;
    };

    TScriptedServer Server;
    QPointer<TfrmChat> Form;
    QStringList Registration; // what the form sent before it was in #d3

    bool Open(bool raw = true)
    {
        if (!Server.Listen())
            return false;
        if (raw) {
            auto *irc = new TfrmIRC;
            irc->ConnectTo(QString("127.0.0.1"), Server.Port(), QString("me"));
            Form = irc;
        } else {
            auto *lobby = new TLobbyLike;
            lobby->Session()->SetNick(QString("me"));
            lobby->OpenConnection(QString("127.0.0.1"), Server.Port());
            Form = lobby;
        }
        Form->setAttribute(Qt::WA_DontShowOnScreen);
        Form->show();
        if (!Server.WaitForClient() || (raw && !Server.WaitForLine(QString("NICK me"))))
            return false;
        Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:bob!~b@10.0.0.2 JOIN :#d3\r\n:srv 353 me = #d3 :me @boss bob\r\n");
        Registration = Sent();
        return Chat("#d3");
    }
    ~TScriptedChat() { delete Form.data(); }
    void Send(const QString &lines) { Server.Send(lines.toUtf8()); }
    // Waits until the form has handled everything sent so far: its PONG to our PING comes
    // after the lines before it, and the views are drawn before it can be read.
    bool Sync()
    {
        static int serial = 0;
        const QString token = QString("sync%1").arg(++serial);
        Server.SendLine(QString("PING :") + token);
        return Server.WaitForLine(QString("PONG :") + token);
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
