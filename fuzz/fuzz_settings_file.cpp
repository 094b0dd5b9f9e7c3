// The settings file as read at start-up: any bytes must give values or a clean error.
#include "settings/SettingsStore.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const auto keys =
        TJsonSettingsStore::Parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    for (const auto &values : keys) {
        for (const QVariant &value : values) {
            if (!value.isValid())
                __builtin_trap(); // every stored value exists
        }
    }
    return 0;
}
