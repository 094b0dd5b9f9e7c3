#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

// The help window: created hidden at start, shown without blocking, hidden by its button.
class TfrmHelp : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget *parent = nullptr);
    ~TfrmHelp() override;

    static QStringList HelpLines();
    QPlainTextEdit *memHelp;
};

TfrmHelp *frmHelp();
