#include "files/UfrmFileServer.h"

#include "base/PortPool.h"
#include "files/FileProtocol.h"
#include "files/FileServerEngine.h"
#include "net/NxEncryptedSocket.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"
#include "ui/WindowRegistry.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QTreeWidget *NewList(const QStringList &columns, const char *name)
{
    auto *list = new QTreeWidget;
    list->setObjectName(QLatin1String(name));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformRowHeights(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

QPushButton *NewButton(const QString &caption, const char *name)
{
    auto *button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    return button;
}
} // namespace

TfrmFileServer::TfrmFileServer(quint16 port, QWidget *parent, const QHostAddress &address)
    : QWidget(parent), m_engine(new TFileServerEngine(this)), m_port(port)
{
    Windows::Register(this);
    setObjectName(QStringLiteral("frmFileServer"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(420, 300);

    pgcPages = new QTabWidget;
    auto *files = new QWidget;
    lvwFiles = NewList({QStringLiteral("File"), QStringLiteral("Size")}, "lvwFiles");
    btnAddFiles = NewButton(QStringLiteral("&Add files"), "btnAddFiles");
    btnRemove = NewButton(QStringLiteral("&Remove"), "btnRemove");
    auto *fileButtons = new QHBoxLayout;
    fileButtons->addWidget(btnAddFiles);
    fileButtons->addWidget(btnRemove);
    fileButtons->addStretch();
    auto *filesLayout = new QVBoxLayout(files);
    filesLayout->addWidget(lvwFiles);
    filesLayout->addLayout(fileButtons);
    pgcPages->addTab(files, QStringLiteral("&Files"));

    auto *users = new QWidget;
    lvwUsers = NewList({QStringLiteral("Address"), QStringLiteral("File")}, "lvwUsers");
    lvwUsers->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lvwUsers->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto *usersLayout = new QVBoxLayout(users);
    usersLayout->addWidget(lvwUsers);
    pgcPages->addTab(users, QStringLiteral("&Users"));

    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    btnClose = NewButton(QStringLiteral("&Close"), "btnClose");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pgcPages);
    layout->addLayout(bottom);

    connect(btnAddFiles, &QPushButton::clicked, this, &TfrmFileServer::btnAddFilesClick);
    connect(btnRemove, &QPushButton::clicked, this, &TfrmFileServer::btnRemoveClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmFileServer::btnCloseClick);
    connect(m_engine, &TFileServerEngine::FilesChanged, this, &TfrmFileServer::RefreshFiles);
    connect(m_engine, &TFileServerEngine::UsersChanged, this, &TfrmFileServer::RefreshUsers);
    connect(m_engine, &TFileServerEngine::Problem, lblStatus, &QLabel::setText);

    if (m_engine->Listen(address, port)) {
        m_port = m_engine->Port();
        lblStatus->setText(QStringLiteral("Listening on port %1.").arg(m_port));
    } else {
        lblStatus->setText(QStringLiteral("Not listening: %1").arg(m_engine->ErrorString()));
        // Told once the window is up, not from inside the constructor.
        QTimer::singleShot(0, this, &TfrmFileServer::ShowListenFailure);
    }
    setWindowTitle(QStringLiteral("File server (port %1)").arg(m_port));
}

TfrmFileServer::~TfrmFileServer() = default;

quint16 TfrmFileServer::ServerPort() const
{
    return m_port;
}

bool TfrmFileServer::Listening() const
{
    return m_engine->Server().Active();
}

TNxEncryptedServer &TfrmFileServer::Server() const
{
    return m_engine->Server();
}

void TfrmFileServer::ShowListenFailure()
{
    MessageBox::Error(
        this, QStringLiteral("The file server cannot listen on port %1: %2").arg(m_port).arg(m_engine->ErrorString()));
}

bool TfrmFileServer::AddSharedFile(const QString &fileName)
{
    const QString error = m_engine->AddSharedFile(fileName);
    if (error.isEmpty())
        return true;
    MessageBox::Error(this, error);
    return false;
}

void TfrmFileServer::btnAddFilesClick()
{
    const QPointer<TfrmFileServer> alive(this);
    const QStringList names = QFileDialog::getOpenFileNames(this, QStringLiteral("Add files"));
    for (const QString &name : names) {
        if (!alive)
            return;
        AddSharedFile(name);
    }
}

void TfrmFileServer::btnRemoveClick()
{
    const QTreeWidgetItem *item = lvwFiles->currentItem();
    if (!item || !item->isSelected())
        return;
    m_engine->RemoveSharedFile(item->data(0, Qt::UserRole).toString());
}

void TfrmFileServer::btnCloseClick()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close();
    else
        close();
}

void TfrmFileServer::RefreshFiles()
{
    const QString current =
        lvwFiles->currentItem() ? lvwFiles->currentItem()->data(0, Qt::UserRole).toString() : QString();
    lvwFiles->clear();
    // In the order of the list that clients get.
    for (const auto &file : m_engine->Files()) {
        auto *item = new QTreeWidgetItem(lvwFiles, {file->FullName(), FileProtocol::FormatSize(file->Size)});
        item->setData(0, Qt::UserRole, file->FullName());
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (item->text(0) == current)
            lvwFiles->setCurrentItem(item);
    }
}

void TfrmFileServer::RefreshUsers()
{
    lvwUsers->clear();
    for (const TFileServerEngine::TUser &user : m_engine->Users())
        new QTreeWidgetItem(lvwUsers, {user.Address, user.FileName});
}

quint16 FreeFileServerPort()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return 0;
    const QList<TfrmFileServer *> servers = Windows::All<TfrmFileServer>();
    return PortPool::FindFree(MemoLines(config->memFileServerPorts), [&servers](quint16 port) {
        return std::any_of(servers.cbegin(), servers.cend(),
                           [port](const TfrmFileServer *w) { return w->ServerPort() == port; });
    });
}
