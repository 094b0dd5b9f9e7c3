// The random source of the settings holder. The generator arrives with the connection
// keys; until then no random byte can be made.
#include "settings/UfrmConfig.h"

#include <stdexcept>

void TfrmConfig::StoreRandomSeed(TStoreMode mode)
{
    Q_UNUSED(mode);
}

void TfrmConfig::NewRandomSeed() {}

quint8 TfrmConfig::GetRandomByte()
{
    throw std::runtime_error("Unable to generate random number, random seed not initialized!");
}
