#pragma once

#include "settings/StoreTransfer.h"

#include <QAction>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The small always-on-top banner that keeps its place and border between runs.
class TfrmBanner : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmBanner(QWidget *parent = nullptr);
    ~TfrmBanner() override;

    virtual void StoreBannerPlacement(TStoreMode mode);
    // 0 = no border, 3 = dialog border.
    int BorderStyle() const { return mnuBorder->isChecked() ? 3 : 0; }
    void ApplyBorder();
    void mnuBorderClick();
    // Moves the window back onto the screen where it stands out of it.
    void KeepOnScreen();

    QAction *mnuBorder;

protected:
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    int m_storedBorder = 3;
};
