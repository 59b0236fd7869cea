#include "DiscNames.h"

#include "CdCacheDatabase.h"
#include "MusicBrainzClient.h"
#include "SettingsRecord.h"

#include <filesystem>
#include <odbcinst.h>

namespace cld::cli {

namespace {

// Whether the names cache exists (a file, or a data source the user registered), so that
// looking into it creates nothing.
bool cacheExists(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return true;
    char driver[256] = {};
    SQLGetPrivateProfileString(kCdCacheDataSource, "Driver", "", driver, sizeof driver, "odbc.ini");
    return driver[0] != '\0';
}

} // namespace

bool cachedNames(SettingsRecord& settings, uint32_t discId, DiscNames& names, std::string& why) {
    const auto file = cdCacheFilePath(std::filesystem::path(settings.programFolder()));
    if (!cacheExists(file)) {
        why = "there is no names cache";
        return false;
    }
    CdCacheDatabase cache;
    if (!cache.open(kCdCacheDataSource, file.string(), kCdCacheDescription)) {
        why = "the names cache cannot be opened";
        return false;
    }
    const std::unique_ptr<CdInfoRecord> record = cache.load(discId);
    if (!record) {
        why = "the names cache does not know the disc";
        return false;
    }
    names = {};
    names.source = "cache";
    names.artist = record->artist;
    names.album = record->album;
    names.genre = record->genre;
    names.year = record->year;
    names.titles = record->trackTitles;
    return true;
}

bool musicBrainzNames(SettingsRecord& settings, const DiscContents& disc, DiscNames& names,
                      std::string& why) {
    std::vector<int32_t> starts;
    for (const DiscTrack& t : disc.tracks)
        starts.push_back(t.firstSector);
    const mb::MbToc toc = mb::tocFromSectors(starts, disc.tracks.back().lastSector);
    mb::MusicBrainzClient client;
    if (!settings.musicBrainzServer().empty())
        client.setServer(settings.musicBrainzServer());
    if (!settings.coverArtServer().empty())
        client.setCoverServer(settings.coverArtServer());
    if (!settings.freeDBEmail().empty())
        client.setContact(settings.freeDBEmail());
    if (settings.useProxy() && !settings.proxyServer().empty())
        client.setProxy(settings.proxyServer(), settings.proxyPort());
    std::vector<mb::MbRelease> releases;
    switch (client.lookup(toc, releases)) {
    case mb::LookupStatus::Found:
        break;
    case mb::LookupStatus::Unknown:
        why = "MusicBrainz does not know the disc";
        return false;
    case mb::LookupStatus::Offline:
        why = "MusicBrainz cannot be reached";
        return false;
    case mb::LookupStatus::TimedOut:
        why = "MusicBrainz did not answer in time";
        return false;
    default:
        why = "MusicBrainz failed: " + client.lastDetail();
        return false;
    }
    if (releases.empty()) {
        why = "MusicBrainz does not know the disc";
        return false;
    }
    const mb::MbRelease& release = releases.front();
    names = {};
    names.source = "musicbrainz";
    names.artist = release.artist;
    names.album = release.album;
    names.genre = release.genre;
    names.year = release.year;
    names.titles = release.trackTitles;
    std::string cover;
    if (client.fetchCover(release.id, cover) && mb::isCoverImage(cover))
        names.coverImage = cover;
    return true;
}

} // namespace cld::cli
