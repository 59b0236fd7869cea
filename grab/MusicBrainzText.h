#pragma once

#include "MusicBrainzClient.h"

#include <filesystem>
#include <string>

class SettingsRecord;

namespace cld {

// The grabber's one-line status after a MusicBrainz look-up: a string id and the text for
// its %1 (empty when it has none).
struct MbStatusLine {
    int stringId = 0;
    std::string argument;
};
MbStatusLine musicBrainzStatus(mb::LookupStatus status, int retryAfterSeconds,
                               const std::string& detail, const std::string& serverName);
// "Names from MusicBrainz: ..." for the release taken, with or without its cover.
MbStatusLine musicBrainzFoundStatus(const mb::MbRelease& release, bool withCover);

// "Artist - Album (Year, Country)": how a release is named in the status and the list.
std::string releaseLabel(const mb::MbRelease& release);

// A client set up from the settings: servers, contact (the FreeDB e-mail address when one
// is given), the HTTP proxy the options name, and the FreeDB network deadline for every
// command.
void configureMusicBrainz(mb::MusicBrainzClient& client, const SettingsRecord& settings);
// "host" or "host:port" of the MusicBrainz server, as the status names it.
std::string musicBrainzServerName(const mb::MusicBrainzClient& client);

// The cover is kept once per rip folder: written as folder.jpg unless one is there already
// (written whole under a temporary name, then renamed). True when the folder has its
// cover afterwards.
bool storeFolderCover(const std::filesystem::path& folder, const std::string& image,
                      std::string& error);

} // namespace cld
