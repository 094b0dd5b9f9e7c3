#include "files/UfrmFileTransfer.h"

#include "files/FileProtocol.h"
#include "files/FileTransferClient.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int ProgressSteps = 1000;
const QString Caption = QStringLiteral("File transfer");

template <typename T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel *ValueLabel(const char *name)
{
    auto *label = Named(new QLabel, name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
} // namespace

TfrmFileTransfer::TfrmFileTransfer(quint16 port, const QString &host, QWidget *parent)
    : QWidget(parent), m_client(new TFileTransferClient(this))
{
    setObjectName(QStringLiteral("frmFileTransfer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Caption);
    resize(460, 420);

    edtHost = Named(new QLineEdit, "edtHost");
    edtPort = Named(new QLineEdit(QStringLiteral("28050")), "edtPort");
    edtPort->setMaximumWidth(80);
    btnConnect = Named(new QPushButton(QStringLiteral("&Connect")), "btnConnect");
    btnDisconnect = Named(new QPushButton(QStringLiteral("&Disconnect")), "btnDisconnect");
    btnDisconnect->setVisible(false);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Host")));
    top->addWidget(edtHost, 1);
    top->addWidget(new QLabel(QStringLiteral("Port")));
    top->addWidget(edtPort);
    top->addWidget(btnConnect);
    top->addWidget(btnDisconnect);

    lvwFiles = Named(new QTreeWidget, "lvwFiles");
    lvwFiles->setHeaderLabels({QStringLiteral("Filename"), QStringLiteral("Size")});
    lvwFiles->setRootIsDecorated(false);
    lvwFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwFiles->setUniformRowHeights(true);
    lvwFiles->header()->setStretchLastSection(false);
    lvwFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    grpProgress = Named(new QGroupBox(QStringLiteral("Progress")), "grpProgress");
    lblFileName = ValueLabel("lblFileName");
    lblBytesIn = ValueLabel("lblBytesIn");
    lblFileSize = ValueLabel("lblFileSize");
    pgbProgress = Named(new QProgressBar, "pgbProgress");
    pgbProgress->setRange(0, ProgressSteps);
    pgbProgress->setValue(0);
    auto *values = new QFormLayout;
    values->addRow(QStringLiteral("File name"), lblFileName);
    values->addRow(QStringLiteral("Bytes in"), lblBytesIn);
    values->addRow(QStringLiteral("File size"), lblFileSize);
    auto *progress = new QHBoxLayout(grpProgress);
    progress->addLayout(values, 1);
    progress->addWidget(pgbProgress, 1);

    lblStatus = ValueLabel("lblStatus");
    lblStatus->setWordWrap(true);
    BitBtn1 = Named(new QPushButton(QStringLiteral("&Close")), "BitBtn1");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(BitBtn1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("Available files")));
    layout->addWidget(lvwFiles, 1);
    layout->addWidget(grpProgress);
    layout->addLayout(bottom);

    if (!host.isEmpty())
        edtHost->setText(host);
    if (port != 0)
        edtPort->setText(QString::number(port));

    connect(btnConnect, &QPushButton::clicked, this, &TfrmFileTransfer::btnConnectClick);
    connect(btnDisconnect, &QPushButton::clicked, this, &TfrmFileTransfer::btnDisconnectClick);
    connect(edtHost, &QLineEdit::returnPressed, this, &TfrmFileTransfer::btnConnectClick);
    connect(edtPort, &QLineEdit::returnPressed, this, &TfrmFileTransfer::btnConnectClick);
    connect(lvwFiles, &QTreeWidget::itemDoubleClicked, this, &TfrmFileTransfer::lvwFilesDblClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmFileTransfer::BitBtn1Click);
    connect(m_client, &TFileTransferClient::Connected, this, &TfrmFileTransfer::ClientConnected);
    connect(m_client, &TFileTransferClient::ConnectFailed, this, &TfrmFileTransfer::ClientConnectFailed);
    connect(m_client, &TFileTransferClient::Disconnected, this, &TfrmFileTransfer::ClientDisconnected);
    connect(m_client, &TFileTransferClient::ListCleared, lvwFiles, [this] {
        lvwFiles->setSortingEnabled(false);
        lvwFiles->clear();
    });
    connect(m_client, &TFileTransferClient::FileListed, this, &TfrmFileTransfer::AddListedFile);
    connect(m_client, &TFileTransferClient::ListComplete, this, [this](int refused) {
        lvwFiles->setSortingEnabled(true);
        lvwFiles->sortByColumn(0, Qt::AscendingOrder);
        SetStatus(refused == 0 ? QStringLiteral("%1 files listed.").arg(lvwFiles->topLevelItemCount())
                               : QStringLiteral("%1 files listed; %2 left out for an unusable name or size.")
                                     .arg(lvwFiles->topLevelItemCount())
                                     .arg(refused));
    });
    // Blocks come by the thousand a second: the labels follow at most ten times a second.
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, &TfrmFileTransfer::ShowProgress);
    connect(m_client, &TFileTransferClient::Progress, this, [this] {
        if (!m_progressTimer.isActive()) {
            ShowProgress();
            m_progressTimer.start();
        }
    });
    connect(m_client, &TFileTransferClient::DownloadFinished, this, [this](const QString &localName) {
        ShowProgress();
        SetStatus(QStringLiteral("Saved %1.").arg(localName));
    });
    connect(m_client, &TFileTransferClient::DownloadFailed, this, &TfrmFileTransfer::SetStatus);
    connect(m_client, &TFileTransferClient::Problem, this, &TfrmFileTransfer::SetStatus);
}

TfrmFileTransfer::~TfrmFileTransfer()
{
    // The client goes first, so no event of it reaches a half-destroyed window.
    m_client->disconnect(this);
    delete m_client;
}

void TfrmFileTransfer::btnConnectClick()
{
    const QString host = edtHost->text().trimmed();
    bool number = false;
    const uint port = edtPort->text().trimmed().toUInt(&number);
    if (host.isEmpty() || !number || port == 0 || port > 65535) {
        MessageBox::Error(this, QStringLiteral("Invalid hostname or portnumber!"));
        return;
    }
    if (m_client->GetState() != TFileTransferClient::State::Idle)
        return;
    m_server = QStringLiteral("%1:%2").arg(host).arg(port);
    setWindowTitle(QStringLiteral("File transfer, connecting..."));
    SetStatus(QStringLiteral("Connecting to %1...").arg(m_server));
    btnConnect->setVisible(false);
    btnDisconnect->setVisible(true); // also cancels a connect that takes long
    m_client->Connect(host, quint16(port));
}

void TfrmFileTransfer::btnDisconnectClick()
{
    m_client->Disconnect();
}

void TfrmFileTransfer::BitBtn1Click()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close();
    else
        close();
}

void TfrmFileTransfer::ClientConnected()
{
    setWindowTitle(Caption);
    ShowConnected(true);
    SetStatus(QStringLiteral("Connected to %1.").arg(m_server));
}

void TfrmFileTransfer::ClientConnectFailed(const QString &error)
{
    setWindowTitle(Caption);
    ShowConnected(false);
    SetStatus(QStringLiteral("Could not connect to %1: %2").arg(m_server, error));
    // Not from inside the socket event.
    const QPointer<TfrmFileTransfer> self(this);
    QTimer::singleShot(0, this, [self, error] {
        if (self)
            MessageBox::Error(self, error);
    });
}

void TfrmFileTransfer::ClientDisconnected(const QString &reason)
{
    setWindowTitle(Caption);
    ShowConnected(false);
    lvwFiles->clear();
    // A failed download already said what happened to its file.
    const QString said = lblStatus->text();
    const QString text = reason.isEmpty() ? QStringLiteral("Disconnected.") : reason;
    SetStatus(said.contains(QStringLiteral("nothing was saved")) ? said + QLatin1Char(' ') + text : text);
}

void TfrmFileTransfer::ShowConnected(bool connected)
{
    btnConnect->setVisible(!connected);
    btnDisconnect->setVisible(connected);
}

void TfrmFileTransfer::SetStatus(const QString &text)
{
    lblStatus->setText(text);
}

void TfrmFileTransfer::AddListedFile(const TFileInfo &file)
{
    auto *item = new QTreeWidgetItem(lvwFiles, {file.Name, FileProtocol::FormatSize(file.Size)});
    item->setData(0, Qt::UserRole, file.Index);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

void TfrmFileTransfer::lvwFilesDblClick(QTreeWidgetItem *item)
{
    if (item)
        Download(item->data(0, Qt::UserRole).toInt());
}

void TfrmFileTransfer::Download(qint32 index)
{
    const TFileInfo *file = m_client->FindListed(index);
    if (!file)
        return;
    const QString name = file->Name;
    const QString directory = frmConfig() ? frmConfig()->edtFileDownload->text() : QString();
    const QString localName = FileProtocol::LocalFileName(directory, name);
    const QString folder = QFileInfo(localName).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        MessageBox::Error(this, QStringLiteral("The download directory %1 does not exist. Choose another under "
                                               "File > Configure, File transfers.")
                                    .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    const QPointer<TfrmFileTransfer> alive(this);
    if (QFileInfo::exists(localName) &&
        !MessageBox::Ask(this,
                         QStringLiteral("%1 exists already. Replace it when the download is complete?").arg(localName)))
        return;
    // The question ran an event loop: the window or the list may have changed meanwhile.
    if (!alive || !m_client->FindListed(index))
        return;
    const QString error = m_client->Download(index, localName);
    if (!error.isEmpty()) {
        SetStatus(error);
        MessageBox::Error(this, error);
        return;
    }
    SetStatus(QStringLiteral("Fetching %1...").arg(name));
    ShowProgress();
}

void TfrmFileTransfer::ShowProgress()
{
    m_progressTimer.stop();
    const qint64 size = m_client->FileSize();
    lblFileName->setText(m_client->LocalName());
    lblBytesIn->setText(QString::number(m_client->BytesIn()));
    lblFileSize->setText(QString::number(size));
    pgbProgress->setValue(size > 0 ? int(m_client->BytesIn() * ProgressSteps / size) : ProgressSteps);
}
