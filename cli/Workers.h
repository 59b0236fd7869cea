#pragma once

#include "AudioEncoder.h"
#include "Commands.h"
#include "FileBatch.h"

class SettingsRecord;

// The engine's workers a convert or decode command runs: one per output format.
namespace cld::cli {

// The factory for `options` (its format, bit rate or profile, over the stored settings);
// an empty function (and `why`) when the format cannot be written.
engine::WorkerFactory workerFactoryFor(const ConvertOptions& options, SettingsRecord& settings,
                                       std::string& why);

using engine::carriesLoudness;

// Whether the format's batch runs one file at a time whatever the width asked (the media
// encoder is one object).
bool singleWorkerOnly(const ConvertOptions& options);

} // namespace cld::cli
