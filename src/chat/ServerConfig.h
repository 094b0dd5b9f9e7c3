#pragma once

#include "chat/Server.h"
#include "settings/UfrmConfig.h"

#include <QListWidget>

// The server-list settings as the configuration shows them at this moment. Kept in the
// header: the engine library does not link the settings window, its forms do.
inline QStringList ListTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; list && i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

inline TServerFilter ServerFilterFromConfig(const TfrmConfig &config)
{
    TServerFilter filter;
    filter.MaxPing = config.speServerFilterPing->Value();
    filter.GameTypes = ListTexts(config.lbxServersFilterGameType);
    filter.Modes = ListTexts(config.lbxServersFilterMode);
    filter.Levels = ListTexts(config.lbxServersFilterLevel);
    filter.HideFull = config.cbxServersFilterMaxPlayers->isChecked();
    return filter;
}
