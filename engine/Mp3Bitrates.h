#pragma once

#include "AudioEncoder.h"
#include "Mp3EncoderParams.h"

#include <span>
#include <string>

class SettingsRecord;

namespace cld {

// One entry of the MP3 bitrate list the settings dialogs show.
struct Mp3BitrateEntry {
    int kbps;
    const char* text;
};

// The 17 entries, index = the stored "LastMP3Bitrate" choice.
std::span<const Mp3BitrateEntry> mp3BitrateList();
inline constexpr int kMp3BitrateCount = 17;
// The slider's range.
inline constexpr int kMp3SliderMin = 8;
inline constexpr int kMp3SliderMax = 320;

// The leading decimal number of a text (0 when it starts with no digit).
int leadingNumber(const std::string& text);
// The encoding bitrate of a list entry's text: its leading number when in 8..320,
// otherwise 128.
int encodingBitrateFromText(const std::string& text);
// The encoding bitrate of list entry `index` (128 for an index outside the list).
int encodingBitrateOfEntry(int index);
// The first entry whose text begins with `prefix` (case-insensitive), or -1.
int firstEntryWithPrefix(const std::string& prefix);
// The entry the list selects when the slider moves to `position`: the position rounded
// down to a multiple of 8, then the first entry beginning with that number; when none
// begins so, `currentIndex` stays selected.
int sliderToListIndex(int position, int currentIndex);
// The entry the list opens on for a stored "LastMP3Bitrate". 1..16 is a list index; 0
// (and anything unusable) opens on 128 kbit/s. Larger values were stored as kbit/s by
// earlier versions and open on the entry the slider would pick for them.
int openingListIndex(int stored);

// The bitrate the MP3 settings open on: the stored "LastMP3Bitrate" choice's entry.
int storedMp3Bitrate(const SettingsRecord& settings);

// Builds the encoder's twelve integers from the settings, following the filling rule:
// with VBR the method is the stored one + 1 and quality, maximum and mean come from the
// settings; with CBR the method is 0 and maximum, mean and VBR quality keep what
// `previous` held. The bitrate bounds are put in the order the library needs
// (minimum <= mean <= maximum) so that every combination of settings encodes.
Mp3EncoderParams mp3ParamsFromSettings(const SettingsRecord& settings, int encodingBitrate,
                                       const Mp3EncoderParams& previous = {});

// The MP3 encoder's options that set it up as `params` say, with or without the UTF-8
// version 2 tag.
engine::EncoderOptions mp3EncoderOptions(const Mp3EncoderParams& params, bool id3v2);

// The media bitrate text of the MP3 progress dialog: "VBR %d-%d Kbps" or "%d Kbps".
std::string mp3BitrateText(const Mp3EncoderParams& params);

// How a whole-number field of the advanced dialog reads.
enum class IntegerField { Ok, NotANumber, OutOfRange };
struct IntegerFieldResult {
    IntegerField status = IntegerField::NotANumber;
    int value = 0;
};
// Reads `text` as an integer in lo..hi (surrounding blanks allowed).
IntegerFieldResult readIntegerField(const std::string& text, int lo, int hi);

} // namespace cld
