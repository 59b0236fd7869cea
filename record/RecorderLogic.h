#pragma once

#include "Mp3EncoderParams.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>

class SettingsRecord;

namespace cld {

// The recorder dialogs' computable rules, kept apart from the widgets.

// The MP3 recorder's bitrate list, in list order.
std::span<const char* const> recorderBitrateTexts();
// The decimal number a list text begins with (0 when none).
int recorderLeadingNumber(const std::string& text);
// The first item whose text begins with `prefix` (case-insensitive), or -1.
int findItemWithPrefix(std::span<const char* const> items, const std::string& prefix);
// The item the list opens on: the stored index when it is non-zero and in the list,
// otherwise the first item beginning with "128".
int initialBitrateIndex(int lastMP3Bitrate);
// The item a slider position selects: the position rounded down to a multiple of 8, as
// the prefix of an item; -1 (selection stays) when no item begins so.
int bitrateIndexForSlider(int position);
// The bitrate in kbit/s of a list item; outside 8..320 (or no item) it is 128.
int chosenBitrate(int index);

// "<folder>/<sub>" for a remembered folder, or empty when none is remembered.
std::string proposedRecorderFolder(const std::string& lastFolder, const char* sub);

// How the recording file is named after its start time.
enum class FileNameStyle {
    Mp3, // ":" and "/" become "."
    Wma, // ":" becomes ".", "/" and "\" become "-"
};
// The local time in its long date and time form, made safe for a file name. A backslash
// never survives either style.
std::string recordingTimeText(std::time_t when, FileNameStyle style);
// folder + "/RecFile - " + time text + extension (".mp3" or ".wma"). Two recordings
// started within the same second would share that name; the later one gets " (2)",
// " (3)" … before the extension, so that no recording replaces another.
std::string recordingFilePath(const std::string& folder, std::time_t when, FileNameStyle style,
                              const char* extension);

// The encoder parameters of a recording from the settings record (the bitrate is the one
// chosen in the settings dialog). VBR members are taken only when VBR is chosen.
void fillRecorderParams(const SettingsRecord& settings, int bitrate, Mp3EncoderParams& params);
// "128 Kbps" for CBR, "VBR 128-192 Kbps" otherwise.
std::string bitrateText(const Mp3EncoderParams& params);

// Free space available to the user and total space of the file system holding `folder`
// (or its nearest existing parent), in whole MiB.
struct DiskSpace {
    uint64_t freeMiB = 0;
    uint64_t totalMiB = 0;
};
std::optional<DiskSpace> queryDiskSpace(const std::string& folder);
// "%.1f GB" of MiB / 1024.
std::string gigabyteText(uint64_t mebibytes);

// "%H:%M:%S" of an elapsed time (hours within the day).
std::string elapsedText(int64_t seconds);

} // namespace cld
