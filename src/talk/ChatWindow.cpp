#include "talk/ChatWindow.h"

#include "talk/TalkKeys.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

TChatWindow::TChatWindow(QWidget *owner, const QByteArray &alias, bool initiator, quint16 port, const QString &host,
                         QTcpSocket *connection, TRandomByteSource random)
    : QFrame(owner), m_initiator(initiator), m_port(port), m_host(host)
{
    setObjectName(QStringLiteral("ChatWindow"));
    setMinimumHeight(StatusBarHeight + 8);
    resize(width(), PanelHeight);

    StatusBar = new QFrame(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(StatusBarHeight);
    StatusBar->setFrameShape(QFrame::StyledPanel);
    StatusBar->setContextMenuPolicy(Qt::CustomContextMenu);
    SendTo = new QCheckBox(QStringLiteral("Send to"), StatusBar);
    SendTo->setObjectName(QStringLiteral("SendTo"));
    SendTo->setEnabled(false);
    SendTo->setChecked(false);
    lblCaption = new QLabel(QStringLiteral("Connecting..."), StatusBar);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setTextFormat(Qt::PlainText);
    auto *bar = new QHBoxLayout(StatusBar);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(SendTo);
    bar->addWidget(lblCaption, 1);

    Display = new QPlainTextEdit(this);
    Display->setObjectName(QStringLiteral("Display"));
    Display->setReadOnly(true);
    Display->setUndoRedoEnabled(false);
    Display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The selection stays visible while the input has the focus.
    QPalette palette = Display->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    Display->setPalette(palette);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StatusBar);
    layout->addWidget(Display, 1);

    connect(StatusBar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { emit StatusBarMenuRequested(this, StatusBar->mapToGlobal(pos)); });

    m_connection = new TTalkConnection(connection, alias, *this, std::move(random), this);
    connect(m_connection, &TTalkConnection::Ended, this,
            [this](TTalkConnection::TEnd end, const QString &message) { emit Ended(this, end, message); });
}

TChatWindow::~TChatWindow()
{
    Shutdown();
}

void TChatWindow::Start()
{
    if (m_initiator)
        m_connection->ConnectTo(m_host, m_port);
    else
        m_connection->Start();
}

void TChatWindow::SendToPeer(const QByteArray &bytes)
{
    if (SendTo->isChecked())
        m_connection->Send(bytes);
}

bool TChatWindow::SendBeep()
{
    if (!m_connection->KeyExchanged())
        return false;
    m_connection->Send(TalkKeys::BeepPair());
    return true;
}

void TChatWindow::Disconnect()
{
    m_connection->Disconnect();
}

void TChatWindow::Shutdown()
{
    m_connection->Shutdown();
}

void TChatWindow::ApplyEdit(const TTalkEdit &edit)
{
    QTextCursor view = Display->textCursor();
    const int selectionStart = view.selectionStart();
    const int selectionLength = view.selectionEnd() - view.selectionStart();

    QTextDocument *document = Display->document();
    QTextCursor cursor(document);
    QTextCharFormat black;
    black.setForeground(Qt::black);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (edit.erase > 0) {
        // A line break is one position in the document, so it goes as a whole.
        const int steps = int(std::min<qsizetype>(edit.erase, document->characterCount()));
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, steps);
        cursor.removeSelectedText();
    }
    if (!edit.append.isEmpty())
        cursor.insertText(edit.append, black);
    const int excess = document->characterCount() - 1 - int(TalkText::MaxDisplayChars);
    if (excess > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, excess);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();

    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    Display->setTextCursor(end);
    if (selectionLength > 0) {
        const int last = document->characterCount() - 1;
        QTextCursor selection(document);
        selection.setPosition(std::min(selectionStart, last));
        selection.setPosition(std::min(selectionStart + selectionLength, last), QTextCursor::KeepAnchor);
        Display->setTextCursor(selection);
    }
    // One sound for a read, however many beeps it held: a burst must not hang the window.
    if (edit.beeps > 0) {
        QApplication::beep();
        emit BeepSounded();
    }
    emit EditApplied();
}

void TChatWindow::ShowPeerName(const QString &name)
{
    lblCaption->setText(name);
}

void TChatWindow::KeyExchanged()
{
    SendTo->setEnabled(true);
    SendTo->setChecked(true);
}
