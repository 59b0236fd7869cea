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
        return "The drive could not read a part of a track; that track is incomplete.";
    case GrabStatus::ErrorNameRefused:
        return "A track's file name was refused: it is empty, too long, holds a \"/\" or "
               "starts with \"..\".";
    case GrabStatus::ErrorWriteFailed:
        return "A WAV file could not be written (is the disk full?); that track is incomplete.";
    case GrabStatus::ErrorTrackMissing:
        return "A selected track is not on the disc in the drive.";
    case GrabStatus::ErrorNotVerified:
        return "Not every track could be verified as read exactly.";
    default:
        return "Reading the CD failed (error " + std::to_string(errorCode) + ").";
    }
}

} // namespace cld
