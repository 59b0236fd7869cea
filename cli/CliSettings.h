#pragma once

class SettingsRecord;

// The settings store the program keeps, shared with the command line. Reading it never
// creates it: without a store every value is its default.
namespace cld::cli {

bool settingsStoreExists();
// Reads every value when the store exists.
void loadSettings(SettingsRecord& settings);

} // namespace cld::cli
