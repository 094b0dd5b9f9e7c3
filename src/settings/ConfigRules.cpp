// The dialog's own editing rules.
#include "settings/UfrmConfig.h"

void TfrmConfig::WireRules()
{
    connect(btnOk, &QPushButton::clicked, this, &TfrmConfig::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmConfig::btnCancelClick);
    connect(btnNewRandomSeed, &QPushButton::clicked, this, &TfrmConfig::NewRandomSeed);
}
