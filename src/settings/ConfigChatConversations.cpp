// The chat page on conversations ("Extras"): highlight words, conversation logs, the lines kept in view, the send
// pace, reconnecting.
#include "settings/UfrmConfig.h"

#include <QDesktopServices>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

QString ChatLogFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("logs"));
}

void OpenChatLogFolder(QWidget *parent)
{
    Q_UNUSED(parent);
    const QString folder = ChatLogFolder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QWidget *TfrmConfig::CreateChatExtrasPage()
{
    memChatHighlight = new QPlainTextEdit;
    memChatHighlight->setObjectName(QStringLiteral("memChatHighlight"));
    memChatHighlight->setLineWrapMode(QPlainTextEdit::NoWrap);
    memChatHighlight->setTabChangesFocus(true);
    cbxChatLog = new QCheckBox(QStringLiteral("Log conversations"));
    cbxChatLog->setObjectName(QStringLiteral("cbxChatLog"));
    cbxChatLog->setChecked(true);
    btnChatLogFolder = new QPushButton(QStringLiteral("&Open log folder"));
    btnChatLogFolder->setObjectName(QStringLiteral("btnChatLogFolder"));
    connect(btnChatLogFolder, &QPushButton::clicked, this, [this] { OpenChatLogFolder(this); });
    speChatLinesKept = new TSpinEdit(0, 1000000, 10000);
    speChatLinesKept->setObjectName(QStringLiteral("speChatLinesKept"));
    speChatSendBurst = new TSpinEdit(0, 100, 5);
    speChatSendBurst->setObjectName(QStringLiteral("speChatSendBurst"));
    speChatSendInterval = new TSpinEdit(0, 60000, 2000);
    speChatSendInterval->setObjectName(QStringLiteral("speChatSendInterval"));
    cbxChatReconnect = new QCheckBox(QStringLiteral("Reconnect when the connection drops"));
    cbxChatReconnect->setObjectName(QStringLiteral("cbxChatReconnect"));
    cbxChatReconnect->setChecked(false);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *highlight = new QLabel(QStringLiteral("Highlight words:"));
    highlight->setBuddy(memChatHighlight);
    layout->addWidget(highlight);
    layout->addWidget(memChatHighlight, 1);
    auto *logs = new QHBoxLayout;
    logs->addWidget(cbxChatLog);
    logs->addWidget(btnChatLogFolder);
    logs->addStretch();
    layout->addLayout(logs);
    auto *kept = new QFormLayout;
    kept->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    kept->addRow(QStringLiteral("Lines kept per conversation (0: all):"), speChatLinesKept);
    layout->addLayout(kept);
    auto *pace = new QGroupBox(QStringLiteral("Flood protection"));
    auto *form = new QFormLayout(pace);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("Lines sent at once (0: no limit):"), speChatSendBurst);
    form->addRow(QStringLiteral("Then one line every (ms):"), speChatSendInterval);
    layout->addWidget(pace);
    layout->addWidget(cbxChatReconnect);
    return page;
}
