#pragma once

#include "AudioTags.h"
#include "MsfTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The grabber's computable texts and rules, kept apart from the dialogs so they can be
// checked without a window. Every text is UTF-8.
namespace cld {

// Names the grabber falls back to when nothing else is known.
inline constexpr const char* kUnknownName = "Unknown";
inline constexpr const char* kUnknownArtistFolder = "Unknown Artist";
inline constexpr const char* kUnknownAlbumFolder = "Unkown Album";
// Longest track name the user may type into the list.
inline constexpr int kMaxTrackNameLength = 50;
// Intro length used when the intro-seconds box is empty or 0.
inline constexpr int kDefaultIntroSeconds = 15;
inline constexpr int kMaxIntroSeconds = 3600;

// Bytes from the disc or a server as valid UTF-8: valid UTF-8 is kept, anything else is
// read as Latin-1 (the character set older discs and servers use). NULs are dropped.
std::string utf8Text(std::string_view bytes);

// Number of characters (code points) of a UTF-8 text.
int characterCount(std::string_view utf8);

// The default title of track `number` (1-based) when the disc carries none: "Track01".
std::string defaultTrackTitle(int number);

// The base name of a track's file: "artist - name" when artist is not empty, else the
// name; the track number text when the name gives nothing. Made by the one file-name rule
// (cld::files::safeName) and cut to at most maxBytes bytes.
std::string wavBaseName(std::string_view artist, std::string_view name, std::string_view numberText,
                        std::size_t maxBytes = 239);

// The FreeDB id as the CDDB protocol writes it: 8 lower-case hex digits.
std::string freedbIdText(std::uint32_t discId);

// The folder the WAV files go to inside the chosen one: "artist - album", with
// "Unknown Artist" and "Unkown Album" standing in for empty texts, made by the one
// file-name rule.
std::string albumFolderName(std::string_view artist, std::string_view album);

// The intro length for the typed value: 15 for 0 (or less), else the value, at most
// kMaxIntroSeconds.
int effectiveIntroSeconds(int typedSeconds);

// The error-correction type the ripper gets for a choice of the grabber's list:
// 0 "No Error Correction" -> 0, 1 "Jitter Correction" -> 1, 2 "Jitter and Scratch
// Repair" -> 5. Any other index counts as the default choice 1.
int errorCorrectionType(int comboIndex);
// The list index for a stored "ErrorCorrection" value (the default 1 when out of range).
int errorCorrectionIndex(int storedValue);

// The totals line under the track list for the ticked tracks.
struct GrabTotals {
    int tracks = 0;
    std::uint64_t seconds = 0;
    std::uint64_t kilobytes = 0;
};
struct TotalsTexts {
    std::string tracks;   // "%d Track(s) "
    std::string size;     // "%.1f MB " of KB x 0.001
    std::string duration; // "%02d:%02d:%02d "
};
TotalsTexts totalsTexts(const GrabTotals& totals);

// "%X" of a disc identifier, as the user sees it.
std::string discIdText(std::uint32_t discId);

// The table of contents of a CDDB query from the tracks' start texts ("m:ss.ff", counted
// from sector 0 as the ripper writes them) and the disc length in seconds: one entry per
// track, then the lead-out (length / 60, length % 60, 0). CDDB counts positions from the
// start of the 2-second pre-gap, so every entry is moved 2 seconds on. A start text that
// cannot be read gives false.
bool tocFromStartTexts(const std::vector<std::string>& startTexts, std::uint32_t discSeconds,
                       std::vector<MsfTime>& toc);

} // namespace cld
