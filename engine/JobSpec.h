#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cld::engine {

// What a conversion job does with its inputs.
enum class JobMode {
    CdEncode,     // the chosen tracks of the disc in the drive -> one file each
    FolderEncode, // every audio file of a folder (or the files chosen together) -> files
    FileEncode,   // one audio file -> one file
    FolderDecode, // every MP3 or WMA file of a folder -> WAV files
    FileDecode,   // one MP3 or WMA file -> one WAV file
};

// Whether the mode works on a folder (or several files) rather than one file.
inline bool isFolderMode(JobMode mode) {
    return mode == JobMode::FolderEncode || mode == JobMode::FolderDecode;
}
inline bool isDecodeMode(JobMode mode) {
    return mode == JobMode::FolderDecode || mode == JobMode::FileDecode;
}
// The folder or single-file variant of an encoding or decoding mode.
inline JobMode withFolder(JobMode mode, bool folder) {
    if (isDecodeMode(mode))
        return folder ? JobMode::FolderDecode : JobMode::FileDecode;
    if (mode == JobMode::CdEncode)
        return mode;
    return folder ? JobMode::FolderEncode : JobMode::FileEncode;
}

// The disc's tracks as the CD grabber chose and named them. Texts are UTF-8; track names
// are already safe as file names.
struct DiscSelection {
    // Track names of every list item, in list order.
    std::vector<std::string> trackNames;
    // Indices of the ticked items.
    std::vector<uint16_t> ticked;
    // Per audio track of the disc.
    std::vector<uint32_t> durationSeconds;
    std::vector<uint32_t> sizeKilobytes;
    std::vector<std::string> startTimes; // "%u:%02u.%02u"
    std::string artist;
    std::string album;
    int genreIndex = 0;
    int year = 0;
    bool introOnly = false;
    int introSeconds = 15;
    // The selected drive's combo index.
    int driveIndex = 0;
    // The error-correction type the grabber applied (0, 1 or 5).
    int errorCorrectionType = 1;
    // The release's cover picture (JPEG or PNG bytes) the grabber found; empty = none.
    std::string coverImage;
};

// One conversion job, as its settings dialog (or a caller) describes it to the job that
// runs it.
struct JobSpec {
    JobMode mode = JobMode::FolderEncode;
    // Input file or folder (folders end in "/"), output file or folder.
    std::string inputPath;
    std::string outputPath;
    // kbit/s of the selected bitrate entry (the VBR minimum in VBR mode).
    int encodingBitrate = 128;
    // Position of the chosen profile in the media encoder's profile collection.
    int wmaProfileIndex = 0;
    // Several files opened together (from the command line or a file manager): a folder
    // job over exactly these files, each output going to the output folder.
    std::vector<std::string> inputFiles;
    // The CD jobs' disc: its tracks and names as the grabber left them.
    DiscSelection disc;
};

} // namespace cld::engine
