#pragma once

#include "settings/Registry.h"

#include <QtGlobal>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTableWidget;
class TChoiceBox;
class TSpinEdit;

enum class TStoreMode { smLoad, smSave };

// The transfer rules by kind: in load direction a missing value leaves the control as it
// is; in save direction the value is always written. Store errors propagate.
namespace StoreTransfer {
constexpr int MaxLines = 10000;
constexpr int MinGridRows = 2;
constexpr int MaxGridRows = 10000;

void Text(TRegistry &reg, TStoreMode mode, const QString &name, QLineEdit *edit);
void Caption(TRegistry &reg, TStoreMode mode, const QString &name, QLabel *label);
void Flag(TRegistry &reg, TStoreMode mode, const QString &name, QCheckBox *box);
void Number(TRegistry &reg, TStoreMode mode, const QString &name, TSpinEdit *spin);
void Number(TRegistry &reg, TStoreMode mode, const QString &name, qint32 &field);
void Choice(TRegistry &reg, TStoreMode mode, const QString &name, TChoiceBox *box);
void Lines(TRegistry &reg, TStoreMode mode, const QString &name, QPlainTextEdit *memo);
void Lines(TRegistry &reg, TStoreMode mode, const QString &name, QListWidget *list);
void Grid(TRegistry &reg, TStoreMode mode, const QString &name, QTableWidget *grid);

// The lines rules on plain lists, shared by memos and list boxes.
QStringList LoadLines(TRegistry &reg, const QString &name);
void SaveLines(TRegistry &reg, const QString &name, const QStringList &lines);
// A line the save skips: empty after trimming spaces and control characters.
bool IsBlankLine(const QString &line);
} // namespace StoreTransfer
