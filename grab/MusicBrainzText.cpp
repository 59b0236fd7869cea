#include "MusicBrainzText.h"

#include "CddbSettings.h"
#include "FolderCover.h"
#include "SettingsRecord.h"

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
        return {2501, {}};
    case mb::LookupStatus::Unavailable:
        if (retryAfterSeconds > 0)
            return {2502, std::to_string(retryAfterSeconds)};
        return {2503, {}};
    case mb::LookupStatus::Offline:
        return {2504, serverName};
    case mb::LookupStatus::TimedOut:
        return {2505, {}};
    case mb::LookupStatus::Malformed:
        return {2506, {}};
    case mb::LookupStatus::Cancelled:
        return {2510, {}};
    case mb::LookupStatus::Failed:
        break;
    }
    return {2507, detail.empty() ? serverName : detail};
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
    return {withCover ? 2511 : 2508, releaseLabel(release)};
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
