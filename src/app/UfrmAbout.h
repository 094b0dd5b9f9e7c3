#pragma once

#include <QDialog>

class QLabel;

// The About box: build number and where Orlo comes from.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    QLabel *lblBuild;
    QLabel *lblVersion;
    QLabel *lblWWW;

    static constexpr char WebAddress[] = "https://orlo.example.org/";

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
