#include "CliSettings.h"

#include "RegistryStore.h"
#include "SettingsRecord.h"

#include <filesystem>

namespace cld::cli {

bool settingsStoreExists() {
    std::error_code ec;
    return std::filesystem::exists(cld::RegistryStore::fileForRoot(HKEY_CURRENT_USER), ec);
}

void loadSettings(SettingsRecord& settings) {
    if (settingsStoreExists())
        settings.LoadSettings();
}

} // namespace cld::cli
