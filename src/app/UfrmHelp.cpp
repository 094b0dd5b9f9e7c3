#include "app/UfrmHelp.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
TfrmHelp *g_help = nullptr;
}

TfrmHelp *frmHelp()
{
    return g_help;
}

TfrmHelp::TfrmHelp(QWidget *parent) : QWidget(parent, Qt::Window)
{
    g_help = this;
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Help"));
    memHelp = new QPlainTextEdit;
    memHelp->setReadOnly(true);
    memHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memHelp->setPlainText(HelpLines().join(QLatin1Char('\n')));
    auto *close = new QPushButton(QStringLiteral("&Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(memHelp);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(820, 560);
}

TfrmHelp::~TfrmHelp()
{
    if (g_help == this)
        g_help = nullptr;
}

QStringList TfrmHelp::HelpLines()
{
    return {
        QStringLiteral("Orlo beta release"),
        QString(),
        QStringLiteral("Getting started"),
        QStringLiteral("-----------------------"),
        QStringLiteral("Choose configure from the file menu and click on the Descent tab."),
        QStringLiteral("Enter the correct search path to the location where you have installed Descent 3."),
        QString(),
        QStringLiteral("Make sure your computer is connected to the internet, then select PXO from the Connect menu."),
        QString(),
        QStringLiteral("You will be asked for a login name, a chat name and a password. The login name and password is "
                       "for connecting to PXO. "),
        QStringLiteral("Chat name is your current pilot name."),
        QString(),
        QStringLiteral(
            "While logged on to PXO you can right click the server list, user list and channel list to obtain "
            "a popup menu. You can join one "),
        QStringLiteral(
            "or more channels by doubleclicking in the channels list. The channels will appear as additionals "
            "tabs in the top of the window. "),
        QStringLiteral("Sending/receiving private messages will also appear as additional tabs. You can join a game by "
                       "double clicking a server. "),
        QStringLiteral("Double clicking a user will bring up his stats."),
        QString(),
        QStringLiteral("Use the edit box in the middle to type text into the currently visible (selected tab) channel. "
                       "Some special command can also be "),
        QStringLiteral("typed here beginning with a slash '/'."),
        QString(),
        QStringLiteral("/msg [msg] will send a private message to another user"),
        QStringLiteral(
            "/ignore [user] will toggle the ignore flag for a specified user. When a user is ignored you will "
            "not see any text that he writes in a "),
        QStringLiteral(
            "channel, but you will see if he sends you a private message. When a user is ignored his name is "
            "written in red in the user list."),
        QStringLiteral("/away [msg] | [no] will toggle your away flag. When you are away the editbox will turn gray. "
                       "Anyone sending you a private "),
        QStringLiteral("message will be automatically responded to with the time for how long you have been away and a "
                       "message of your choice. "),
        QStringLiteral("Away messages can also be configured in the configuration option from the file menu. Enter a "
                       "number, starting from zero, to "),
        QStringLiteral("select a preconfigured away message instead of typing the away message."),
        QStringLiteral("/me [msg] will let you perform an action"),
        QString(),
        QStringLiteral("In the configure options selectable from the file menu you can configure pinging intervals. "
                       "These settings are preconfigured to "),
        QStringLiteral(
            "suit a fast modem link. You can change them but beware of your bandwidth. Pinging intervals are "
            "limitited to minimum values "),
        QStringLiteral("of 6-8 seconds so that you cannot ping down a server or kill your own bandwidth too much. "
                       "Requesting a users stats is also "),
        QStringLiteral("limited to once every third second for the same reasons."),
        QStringLiteral("Another way to reduce bandwidth usage is to filter servers."),
        QString(),
        QStringLiteral("Talk"),
        QStringLiteral("----"),
        QStringLiteral(
            "Talk is a direct talk connection to another user (not through PXO or any other server). You must "
            "know the other users ip "),
        QStringLiteral(
            "number to use talk. Select talk from the Connect menu. Then click the connect button inside the "
            "talk window. Each "),
        QStringLiteral("talkwindow allocates a server port of its own. You can connect to several users simultanously "
                       "using one talk window."),
        QString(),
        QStringLiteral("Incomplete in beta version"),
        QStringLiteral("--------------------------"),
        QStringLiteral("Filetransfers are not yet available."),
        QString(),
        QStringLiteral("Bugreports/improvements"),
        QStringLiteral("------------------------"),
        QStringLiteral("Please report faults and send suggestions for improvements to orlo@orlo.example.org, "),
        QStringLiteral("or talk to us on PXO chat, where we go by the names Orlo and Lobbex."),
    };
}
