#include "MusicBrainzText.h"

#include "CddbSettings.h"
#include "FolderCover.h"
#include "SettingsRecord.h"
#include "StringIds.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace cld {

MbStatusLine musicBrainzStatus(mb::LookupStatus status, int retryAfterSeconds,
                               const std::string& detail, const std::string& serverName) {
    switch (status) {
    case mb::LookupStatus::Found:
        return {};
    case mb::LookupStatus::Unknown:
        return {IDS_MB_UNKNOWN_DISC, {}};
    case mb::LookupStatus::Unavailable:
        if (retryAfterSeconds > 0)
            return {IDS_MB_BUSY_RETRY, std::to_string(retryAfterSeconds)};
        return {IDS_MB_BUSY, {}};
    case mb::LookupStatus::Offline:
        return {IDS_MB_OFFLINE, serverName};
    case mb::LookupStatus::TimedOut:
        return {IDS_MB_TIMED_OUT, {}};
    case mb::LookupStatus::Malformed:
        return {IDS_MB_UNREADABLE, {}};
    case mb::LookupStatus::Cancelled:
        return {IDS_MB_CANCELLED, {}};
    case mb::LookupStatus::Failed:
        break;
    }
    return {IDS_MB_REFUSED, detail.empty() ? serverName : detail};
}

std::string releaseLabel(const mb::MbRelease& release) {
    std::string label = release.artist + " - " + release.album;
    std::string extra;
    if (release.year > 0)
        extra = std::to_string(release.year);
    if (!release.country.empty())
        extra += (extra.empty() ? "" : ", ") + release.country;
    if (release.mediumCount > 1)
        extra += (extra.empty() ? "" : ", ") + std::string("disc ") +
                 std::to_string(release.mediumPosition) + "/" + std::to_string(release.mediumCount);
    if (!extra.empty())
        label += " (" + extra + ")";
    return label;
}

MbStatusLine musicBrainzFoundStatus(const mb::MbRelease& release, bool withCover) {
    return {withCover ? IDS_MB_FOUND_WITH_COVER : IDS_MB_FOUND, releaseLabel(release)};
}

void configureMusicBrainz(mb::MusicBrainzClient& client, const SettingsRecord& settings) {
    // A server the options could not have accepted falls back to the public one.
    if (!client.setServer(settings.musicBrainzServer()))
        client.setServer({});
    if (!client.setCoverServer(settings.coverArtServer()))
        client.setCoverServer({});
    client.setContact(settings.freeDBEmail());
    const CddbProxy proxy = cddbProxyFromSettings(settings);
    client.setProxy(proxy.host, proxy.port);
    const auto deadline = std::chrono::seconds(std::clamp(settings.freeDBDeadline(), 5, 600));
    client.setDeadline(deadline);
}

std::string musicBrainzServerName(const mb::MusicBrainzClient& client) {
    const mb::HttpUrl& server = client.server();
    return server.port == server.defaultPort() ? server.host
                                               : server.host + ":" + std::to_string(server.port);
}

bool storeFolderCover(const std::filesystem::path& folder, const std::string& image,
                      std::string& error) {
    return keepFolderCover(folder.string(), image, error);
}

} // namespace cld
