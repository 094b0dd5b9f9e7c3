#include "pxo/LevelDownload.h"

#include "pxo/LevelTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

#include "base/SafeName.h"

namespace {
constexpr qint64 ReadBufferBytes = 256 * 1024;
constexpr int MaxRedirects = 10;

QHash<QString, TLevelDownload *> &Targets()
{
    static QHash<QString, TLevelDownload *> targets;
    return targets;
}

// The same file however its folder was written.
QString TargetKey(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    QString key = (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
#ifdef Q_OS_WIN
    key = key.toLower();
#endif
    return key;
}
} // namespace

TLevelDownload::TLevelDownload(QObject *parent, QNetworkAccessManager *manager)
    : QObject(parent), m_manager(manager ? manager : new QNetworkAccessManager(this))
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &TLevelDownload::Stalled);
}

TLevelDownload::~TLevelDownload()
{
    Release();
}

TLevelDownload *TLevelDownload::Running(const QString &path)
{
    return Targets().value(TargetKey(path), nullptr);
}

QString TLevelDownload::TargetFor(const QString &address, const QString &directory)
{
    const QString name = LevelTarget::FileName(address);
    return name.isEmpty() ? QString() : LevelTarget::LocalPath(LevelTarget::Join(directory, name));
}

TLevelDownload::TStart TLevelDownload::Start(const QString &address, const QString &directory)
{
    if (m_reply)
        return TStart::Busy;
    m_error.clear();
    m_received = 0;
    m_total = -1;
    m_connected = false;
    m_address = address.trimmed();
    m_fileName = LevelTarget::FileName(m_address);
    if (m_fileName.isEmpty() || !LevelTarget::IsFetchable(m_address)) {
        m_error = QStringLiteral("No level file can be taken from the address %1").arg(m_address);
        return TStart::BadAddress;
    }
    m_target = TargetFor(m_address, directory);
    const QString folder = QFileInfo(m_target).absolutePath();
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("The folder %1 cannot be created").arg(QDir::toNativeSeparators(folder));
        return TStart::FileError;
    }
    const QString key = TargetKey(m_target);
    if (Targets().contains(key)) {
        m_error = QStringLiteral("%1 is already being downloaded").arg(m_fileName);
        return TStart::Busy;
    }
    auto file = std::make_unique<QSaveFile>(m_target);
    // Unbuffered: a short write (a full disk) shows in write's count, never as a cut level.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_error =
            QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(m_target), file->errorString());
        return TStart::FileError;
    }
    m_file = std::move(file);
    m_key = key;
    Targets().insert(m_key, this);

    QNetworkRequest request{QUrl(m_address, QUrl::TolerantMode)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    // The announced length must be the length of what is written: no transparent decompression.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager->get(request);
    m_reply->setReadBufferSize(ReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &TLevelDownload::HeadersArrived);
    connect(m_reply, &QIODevice::readyRead, this, &TLevelDownload::ReadBody);
    connect(m_reply, &QNetworkReply::finished, this, &TLevelDownload::TransferFinished);
    m_stall.start(m_stallMs);
    return TStart::Started;
}

void TLevelDownload::Cancel()
{
    Release();
}

int TLevelDownload::HttpStatus() const
{
    return m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

bool TLevelDownload::HttpOk() const
{
    const int status = HttpStatus();
    return status >= 200 && status <= 299;
}

void TLevelDownload::HeadersArrived()
{
    m_stall.start(m_stallMs);
    if (m_connected || !HttpOk())
        return; // a redirect or an error page: neither is the level
    m_connected = true;
    // After a redirect the reply may still hold the earlier answers' headers, joined by commas
    // before this answer's own: the length announced for the level is the last value.
    bool announced = false;
    const qint64 length = m_reply->rawHeader("Content-Length").split(',').last().trimmed().toLongLong(&announced);
    if (announced && length >= 0)
        m_total = length;
    if (m_total > m_maxBytes) {
        Fail(QStringLiteral("The file is %1 bytes long, more than the %2 a level may have")
                 .arg(m_total)
                 .arg(m_maxBytes));
        return;
    }
    emit Connected();
    if (m_reply)
        emit Progress(m_received, m_total);
}

void TLevelDownload::ReadBody()
{
    if (!m_reply)
        return;
    m_stall.start(m_stallMs);
    if (!HttpOk()) {
        m_reply->readAll();
        return;
    }
    if (!m_connected)
        HeadersArrived();
    if (!m_reply)
        return;
    const QByteArray bytes = m_reply->readAll();
    if (m_received + bytes.size() > m_maxBytes) {
        Fail(QStringLiteral("The file is longer than the %1 bytes a level may have").arg(m_maxBytes));
        return;
    }
    if (m_file->write(bytes) != bytes.size()) {
        Fail(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(m_target), m_file->errorString()));
        return;
    }
    m_received += bytes.size();
    emit Progress(m_received, m_total);
}

void TLevelDownload::TransferFinished()
{
    if (!m_reply)
        return;
    ReadBody();
    if (!m_reply)
        return;
    const int status = HttpStatus();
    if (status != 0 && !HttpOk()) {
        const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        Fail(QStringLiteral("The server answered HTTP %1 %2").arg(status).arg(reason).trimmed());
    } else if (m_reply->error() != QNetworkReply::NoError) {
        const QString cause = m_reply->errorString();
        Fail(m_total >= 0 ? QStringLiteral("The transfer broke off after %1 of %2 bytes: %3")
                                .arg(m_received)
                                .arg(m_total)
                                .arg(cause)
                          : cause);
    } else if (m_total >= 0 && m_received != m_total) {
        Fail(QStringLiteral("The transfer ended after %1 of %2 bytes").arg(m_received).arg(m_total));
    } else if (m_received == 0) {
        Fail(QStringLiteral("The server sent an empty file"));
    } else if (!m_file->setPermissions(FileModes::Data) || !m_file->commit()) {
        Fail(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(m_target), m_file->errorString()));
    } else {
        m_file.reset();
        // Saving over a file keeps that file's mode; a level is data, never a program.
        QFile::setPermissions(m_target, FileModes::Data);
        Release();
        emit Succeeded(m_target);
    }
}

void TLevelDownload::Stalled()
{
    if (m_reply)
        Fail(QStringLiteral("Nothing arrived for %1 seconds").arg(m_stallMs / 1000.0));
}

void TLevelDownload::Fail(const QString &reason)
{
    m_error = reason;
    Release();
    emit Failed(reason);
}

void TLevelDownload::Release()
{
    m_stall.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    // An uncommitted save file removes its temporary file when it goes.
    m_file.reset();
    if (!m_key.isEmpty()) {
        Targets().remove(m_key);
        m_key.clear();
    }
}
