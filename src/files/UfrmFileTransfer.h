#pragma once

#include <QTimer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
struct TFileInfo;
class TFileTransferClient;

// Lists another user's shared files and fetches the one double-clicked into the
// download directory.
class TfrmFileTransfer : public QWidget
{
    Q_OBJECT
public:
    // Port 0 and an empty host leave the fields at their defaults.
    explicit TfrmFileTransfer(quint16 port = 0, const QString &host = QString(), QWidget *parent = nullptr);
    ~TfrmFileTransfer() override;

    TFileTransferClient &Client() const { return *m_client; }
    // Starts fetching the listed file at Index; asks before replacing a local file.
    void Download(qint32 index);
    void ShowProgress();

    QLineEdit *edtHost;
    QLineEdit *edtPort;
    QPushButton *btnConnect;
    QPushButton *btnDisconnect;
    QTreeWidget *lvwFiles;
    QGroupBox *grpProgress;
    QLabel *lblFileName;
    QLabel *lblBytesIn;
    QLabel *lblFileSize;
    QProgressBar *pgbProgress;
    QLabel *lblStatus;
    QPushButton *BitBtn1;

private:
    void btnConnectClick();
    void btnDisconnectClick();
    void lvwFilesDblClick(QTreeWidgetItem *item);
    void BitBtn1Click();
    void ClientConnected();
    void ClientConnectFailed(const QString &error);
    void ClientDisconnected(const QString &reason);
    void AddListedFile(const TFileInfo &file);
    void ShowConnected(bool connected);
    void SetStatus(const QString &text);

    TFileTransferClient *m_client;
    QString m_server; // host:port of the current connection
    QTimer m_progressTimer;
};
