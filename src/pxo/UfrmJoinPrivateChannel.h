#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the name of a private channel ("+" and the name).
class TfrmJoinPrivateChannel : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmJoinPrivateChannel(QWidget *parent = nullptr);

    // "+" and the typed name without surrounding blanks; empty when nothing usable was
    // typed (no name, or blanks, commas or control characters inside it, which would make
    // the JOIN line mean something else).
    static QString ChannelFor(const QString &typed);
    QString Channel() const;

    QLineEdit *edtChannel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void TryAccept();
};
