#include "GrabErrorText.h"

#include "cldrip/GrabStatus.h"

namespace cld {

std::string grabErrorText(int errorCode) {
    switch (errorCode) {
    case GrabStatus::ErrorNone:
        return {};
    case GrabStatus::ErrorOpenFailed:
        return "The drive could not be prepared for reading a track.";
    case GrabStatus::ErrorCreateFailed:
        return "A WAV file could not be created in the chosen folder.";
    case GrabStatus::ErrorReadFailed:
        return "The drive could not read some sectors of a track; they are silent in the file, "
               "or the file stops where reading failed. " +
               grabAdviceText();
    case GrabStatus::ErrorNameRefused:
        return "A track's file name was refused: it is empty, too long, holds a \"/\" or "
               "starts with \"..\".";
    case GrabStatus::ErrorWriteFailed:
        return "A WAV file could not be written (is the disk full?); that track is incomplete.";
    case GrabStatus::ErrorTrackMissing:
        return "A selected track is not on the disc in the drive.";
    case GrabStatus::ErrorNotVerified:
        return "Some sectors could not be verified: the drive did not deliver them the same "
               "way twice, so they may differ from the disc. " +
               grabAdviceText();
    default:
        return "Reading the CD failed (error " + std::to_string(errorCode) + ").";
    }
}

namespace {

std::string sectors(int count, const char* verbSingular, const char* verbPlural) {
    return std::to_string(count) + (count == 1 ? " sector " : " sectors ") +
           (count == 1 ? verbSingular : verbPlural);
}

} // namespace

std::string grabTrackText(int unreadSectors, int unverifiedSectors, bool failed) {
    std::string text;
    if (unreadSectors > 0)
        text = sectors(unreadSectors, "could not be read and is silent in the file",
                       "could not be read and are silent in the file");
    if (unverifiedSectors > 0) {
        if (!text.empty())
            text += ", ";
        text += sectors(unverifiedSectors, "could not be verified (it may differ from the disc)",
                        "could not be verified (they may differ from the disc)");
    }
    if (failed && unreadSectors <= 0)
        return text.empty() ? "the file stops before the end of the track"
                            : "the file stops before the end of the track; " + text;
    if (text.empty())
        return failed ? "some sectors could not be read"
                      : "its audio could not be verified (it may differ from the disc)";
    return text;
}

std::string grabAdviceText() {
    return "Clean the disc and read these tracks again, or choose \"Jitter and Scratch "
           "Repair\" as the error correction.";
}

} // namespace cld
