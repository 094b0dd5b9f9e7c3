#include "app/UfrmAbout.h"

#include "app/Artwork.h"
#include "net/PeerPackets.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About..."));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(0xC0, 0xC0, 0xC0));
    setPalette(palette);
    setAutoFillBackground(true);

    auto *image = new QLabel;
    image->setPixmap(Artwork::AboutImage(QSize(160, 160)));
    const auto line = [](const QString &text) {
        auto *label = new QLabel(text);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    QLabel *first = line(QStringLiteral("A lobby for Descent 3 pilots on PXO"));
    QLabel *name = line(QStringLiteral("Orlo"));
    QFont big = name->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    name->setFont(big);
    lblBuild = line(QStringLiteral("Lobbex build ") + QString::number(PeerPackets::Build));
    lblBuild->setObjectName(QStringLiteral("lblBuild"));
    QLabel *contact = line(QStringLiteral("orlo@orlo.example.org"));
    lblVersion = line(QStringLiteral("ßeta"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblWWW = line(QLatin1String(WebAddress));
    lblWWW->setObjectName(QStringLiteral("lblWWW"));
    lblWWW->setCursor(Qt::PointingHandCursor);
    QPalette link = lblWWW->palette();
    link.setColor(QPalette::WindowText, QColor(0x00, 0xFF, 0xFF));
    lblWWW->setPalette(link);
    lblWWW->installEventFilter(this);

    auto *texts = new QVBoxLayout;
    for (QLabel *label : {first, name, lblBuild, contact, lblVersion, lblWWW})
        texts->addWidget(label);
    texts->addStretch();
    auto *layout = new QGridLayout(this);
    layout->addWidget(image, 0, 0);
    layout->addLayout(texts, 0, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a single fixed border
}

void TfrmAbout::keyPressEvent(QKeyEvent *event)
{
    // The box sees keys before its controls: Escape closes, nothing else does anything.
    if (event->key() == Qt::Key_Escape)
        reject();
    else
        event->accept();
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lblWWW && event->type() == QEvent::MouseButtonRelease) {
        QDesktopServices::openUrl(QUrl(lblWWW->text()));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
