#include "GrabErrorText.h"

#include "AppResources.h"
#include "StringIds.h"
#include "cldrip/GrabStatus.h"

namespace cld {

namespace {

// The text of a string id in the user's language; the English text when no language
// resources are loaded. "%1" becomes count.
std::string localText(int id, const char* english, int count = 0) {
    QString text = AppResources::string(id);
    if (text.isEmpty())
        text = QString::fromUtf8(english);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(count);
    return text.toStdString();
}

} // namespace

std::string grabErrorText(int errorCode) {
    switch (errorCode) {
    case GrabStatus::ErrorNone:
        return {};
    case GrabStatus::ErrorOpenFailed:
        return "The drive could not be prepared for reading a track.";
    case GrabStatus::ErrorCreateFailed:
        return "A track's audio file could not be created in the chosen folder.";
    case GrabStatus::ErrorReadFailed:
        return localText(IDS_GRAB_READ_FAILED_NOTE,
                         "The drive could not read some sectors of a track; they are silent in "
                         "the file, or the file stops where reading failed.") +
               " " + grabAdviceText();
    case GrabStatus::ErrorNameRefused:
        return "A track's file name was refused: it is empty, too long, holds a \"/\" or "
               "starts with \"..\".";
    case GrabStatus::ErrorWriteFailed:
        return "A track's audio file could not be written (is the disk full?); that track is "
               "incomplete.";
    case GrabStatus::ErrorTrackMissing:
        return "A selected track is not on the disc in the drive.";
    case GrabStatus::ErrorNotVerified:
        return localText(IDS_GRAB_NOT_VERIFIED_NOTE,
                         "Some sectors could not be verified: the drive did not deliver them the "
                         "same way twice, so they may differ from the disc.") +
               " " + grabAdviceText();
    default:
        return "Reading the CD failed (error " + std::to_string(errorCode) + ").";
    }
}

std::string grabTrackText(int unreadSectors, int unverifiedSectors, bool failed) {
    std::string text;
    if (unreadSectors == 1)
        text = localText(IDS_ONE_SECTOR_UNREAD,
                         "1 sector could not be read and is silent in the file");
    else if (unreadSectors > 1)
        text = localText(IDS_SECTORS_UNREAD,
                         "%1 sectors could not be read and are silent in the file", unreadSectors);
    if (unverifiedSectors > 0) {
        if (!text.empty())
            text += ", ";
        text += unverifiedSectors == 1
                    ? localText(IDS_ONE_SECTOR_UNVERIFIED,
                                "1 sector could not be verified (it may differ from the disc)")
                    : localText(IDS_SECTORS_UNVERIFIED,
                                "%1 sectors could not be verified (they may differ from the disc)",
                                unverifiedSectors);
    }
    if (failed && unreadSectors <= 0) {
        const std::string stops =
            localText(IDS_TRACK_STOPS_EARLY, "the file stops before the end of the track");
        return text.empty() ? stops : stops + "; " + text;
    }
    if (text.empty())
        return failed ? localText(IDS_TRACK_SOME_UNREAD, "some sectors could not be read")
                      : localText(IDS_TRACK_AUDIO_UNVERIFIED,
                                  "its audio could not be verified (it may differ from the disc)");
    return text;
}

std::string grabNoFileText() {
    return localText(IDS_TRACK_NO_FILE, "failed, no file was written");
}

std::string grabNameTakenText(const std::string& file) {
    QString text = AppResources::string(IDS_TRACK_NAME_TAKEN);
    if (text.isEmpty())
        text = QStringLiteral("not saved: \"%1\" is already there and was left as it is");
    return text.arg(QString::fromStdString(file)).toStdString();
}

std::string grabNotReadText() {
    return localText(IDS_TRACK_NOT_READ, "not read");
}

std::string grabAdviceText() {
    return localText(IDS_GRAB_ADVICE,
                     "Clean the disc and read these tracks again, or choose \"Jitter "
                     "and Scratch Repair\" as the error correction.");
}

} // namespace cld
