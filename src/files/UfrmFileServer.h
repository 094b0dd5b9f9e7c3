#pragma once

#include <QHostAddress>
#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class TFileServerEngine;
class TNxEncryptedServer;

// Shares files the user picks with any number of file transfer windows, here or on
// other machines, for as long as the window is open.
class TfrmFileServer : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmFileServer(quint16 port, QWidget *parent = nullptr, const QHostAddress &address = QHostAddress::Any);
    ~TfrmFileServer() override;

    quint16 ServerPort() const;
    bool Listening() const;
    TFileServerEngine &Engine() const { return *m_engine; }
    TNxEncryptedServer &Server() const;

    // Shares FileName; says why in a box when it cannot.
    bool AddSharedFile(const QString &fileName);

    QTabWidget *pgcPages;
    QTreeWidget *lvwFiles;
    QPushButton *btnAddFiles;
    QPushButton *btnRemove;
    QTreeWidget *lvwUsers;
    QLabel *lblStatus;
    QPushButton *btnClose;

private:
    void btnAddFilesClick();
    void btnRemoveClick();
    void btnCloseClick();
    void RefreshFiles();
    void RefreshUsers();
    void ShowListenFailure();

    TFileServerEngine *m_engine;
    quint16 m_port;
};

// The first of the configured file server ports that no file server window uses; 0 when none.
quint16 FreeFileServerPort();
