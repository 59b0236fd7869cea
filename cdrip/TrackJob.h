#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Values of TrackJob::valid.
enum TrackJobState : std::int32_t {
    TrackJobMissing = 0, // the disc has no such track
    TrackJobValid = 1,
};

// The kind of file a track job writes (CDRipObject::SetOutputFormat).
enum TrackFormat : std::int32_t {
    TrackFormatWav = 0,
    TrackFormatFlac = 1,
};

// One track to grab. Names and paths are kept in fixed records of 260 bytes; longer
// ones are refused by makeTrackJob, never cut.
struct TrackJob {
    static constexpr std::size_t kPathBytes = 260;

    std::int32_t trackIndex = 0;
    char fileName[kPathBytes] = {};
    char fullPath[kPathBytes] = {};
    std::int32_t startSeconds = 0;
    std::int32_t endSeconds = -1;
    std::int32_t valid = 0;
    std::int32_t firstSector = 0;
    std::int32_t lastSector = 0;
    std::int32_t format = TrackFormatWav;
    // Whether a regular file already at fullPath may be replaced when the track is
    // finished (the user agreed); otherwise a taken name fails the track.
    std::int32_t replaceExisting = 0;
    // Tags "NAME=value" (UTF-8) a FLAC file carries as Vorbis comments; a WAV file has none.
    std::vector<std::string> tags;
    // Read the track twice and compare (test and copy).
    std::int32_t testAndCopy = 0;
    // The audio before the first track (trackIndex kHiddenTrackIndex).
    std::int32_t hidden = 0;
};

// The track index of the audio before the first track (a hidden track).
inline constexpr std::int32_t kHiddenTrackIndex = -1;

// Appends the path separator to a non-empty folder that lacks one. Returns false
// (and leaves out untouched) when the result would not fit a 260-byte record.
bool makeOutputFolder(const std::string& folder, std::string& out);

// The file name for a track: the name with its format's extension (".wav", ".flac"),
// appended unless the name already ends in it (any case). Every track file has its
// extension, so that no track can take the name of a log, a cue sheet or another file.
std::string trackFileName(const std::string& name, std::int32_t format = TrackFormatWav);

// Fills a job from its arguments. Returns false, with a message in error, when the
// name is empty, holds a '/', is "." or starts with ".." (the file must lie in the
// folder), or when the file name or the full path does not fit its record.
bool makeTrackJob(TrackJob& job, int trackIndex, const std::string& name, const std::string& folder,
                  int startSeconds, int endSeconds, std::string& error,
                  std::int32_t format = TrackFormatWav, bool replaceExisting = false);
