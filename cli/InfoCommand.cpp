#include "AccurateRip.h"
#include "AudioInputCheck.h"
#include "CliSettings.h"
#include "Commands.h"
#include "DiscNames.h"
#include "ExitCode.h"
#include "MbDiscId.h"
#include "RipperLibrary.h"
#include "SettingsRecord.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace cld::cli {

namespace {

std::string hex8(uint32_t value, bool upper = false) {
    char buf[16];
    std::snprintf(buf, sizeof buf, upper ? "%08X" : "%08x", value);
    return buf;
}

std::string secondsText(double seconds) {
    char buf[32];
    const auto whole = static_cast<long long>(seconds);
    std::snprintf(buf, sizeof buf, "%lld:%02lld.%03d", whole / 60, whole % 60,
                  static_cast<int>((seconds - static_cast<double>(whole)) * 1000));
    return buf;
}

void addTags(const AudioTags& tags, nlohmann::ordered_json& object) {
    nlohmann::ordered_json t = nlohmann::ordered_json::object();
    auto put = [&](const char* key, const std::string& value) {
        if (!value.empty())
            t[key] = value;
    };
    put("title", tags.title);
    put("artist", tags.artist);
    put("album", tags.album);
    put("album_artist", tags.albumArtist);
    put("year", tags.year);
    put("genre", tags.genre);
    put("comment", tags.comment);
    if (tags.track > 0)
        t["track"] = tags.track;
    if (tags.trackTotal > 0)
        t["track_total"] = tags.trackTotal;
    object["tags"] = t;
}

// Lines "key: value" for the text form of an object (nested objects indented).
void textLines(const nlohmann::ordered_json& object, const std::string& indent, std::string& out) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().is_object()) {
            out += indent + it.key() + ":\n";
            textLines(it.value(), indent + "  ", out);
        } else if (it.value().is_array()) {
            out += indent + it.key() + ":\n";
            for (const auto& element : it.value()) {
                if (element.is_object()) {
                    std::string line;
                    for (auto e = element.begin(); e != element.end(); ++e)
                        line += (line.empty() ? "" : "  ") + e.key() + "=" +
                                (e.value().is_string() ? e.value().get<std::string>()
                                                       : e.value().dump());
                    out += indent + "  " + line + "\n";
                } else {
                    out += indent + "  " +
                           (element.is_string() ? element.get<std::string>() : element.dump()) +
                           "\n";
                }
            }
        } else {
            out += indent + it.key() + ": " +
                   (it.value().is_string() ? it.value().get<std::string>() : it.value().dump()) +
                   "\n";
        }
    }
}

void print(Console& console, const nlohmann::ordered_json& object) {
    std::string text;
    textLines(object, "", text);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    console.result(object, text);
}

int infoFile(Console& console, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        console.error(path + ": no such file");
        return kExitNothingDone;
    }
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) {
        console.error(path + ": not a media file this program reads");
        return kExitNothingDone;
    }
    if (avformat_find_stream_info(in, nullptr) < 0) {
        avformat_close_input(&in);
        console.error(path + ": the file's streams cannot be read");
        return kExitNothingDone;
    }
    nlohmann::ordered_json object = {{"file", path}, {"format", in->iformat->name}};
    if (in->iformat->long_name)
        object["format_name"] = in->iformat->long_name;
    if (in->duration > 0) {
        const double seconds = static_cast<double>(in->duration) / AV_TIME_BASE;
        object["seconds"] = seconds;
        object["length"] = secondsText(seconds);
    }
    const int audio = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        const AVCodecParameters* par = in->streams[audio]->codecpar;
        nlohmann::ordered_json a = {{"codec", avcodec_get_name(par->codec_id)},
                                    {"sample_rate", par->sample_rate},
                                    {"channels", par->ch_layout.nb_channels}};
        if (par->bits_per_raw_sample > 0)
            a["bits"] = par->bits_per_raw_sample;
        else if (par->bits_per_coded_sample > 0)
            a["bits"] = par->bits_per_coded_sample;
        if (par->bit_rate > 0)
            a["bitrate"] = par->bit_rate;
        object["audio"] = a;
    }
    const int video = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0 && !(in->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        const AVCodecParameters* par = in->streams[video]->codecpar;
        object["video"] = {{"codec", avcodec_get_name(par->codec_id)},
                           {"width", par->width},
                           {"height", par->height}};
    }
    addTags(cld::readAudioTags(in, audio), object);
    avformat_close_input(&in);
    if (audio < 0 && video < 0) {
        console.error(path + ": holds no audio or video");
        return kExitNothingDone;
    }
    print(console, object);
    return kExitDone;
}

int infoDrive(Console& console, SettingsRecord& settings, const std::string& drive) {
    RipperLibrary& ripper = RipperLibrary::instance();
    std::string why;
    const int index = ripper.findDrive(drive, why);
    if (index < 0) {
        console.error(why);
        return kExitNothingDone;
    }
    ripper.selectDrive(index);
    DiscContents disc;
    if (!ripper.readDisc(disc, why)) {
        console.error(why);
        return kExitNothingDone;
    }
    const std::string driveName = ripper.driveNames().at(static_cast<size_t>(index));
    nlohmann::ordered_json object = {{"drive", driveName}, {"cddb_id", hex8(disc.cddbId)}};

    accurip::DiscLayout layout;
    std::vector<int32_t> starts;
    for (const DiscTrack& t : disc.tracks) {
        layout.tracks.push_back({t.number, t.firstSector, true});
        starts.push_back(t.firstSector);
    }
    layout.leadOut = static_cast<int64_t>(disc.tracks.back().lastSector) + 1;
    layout.knownFreedbId = disc.cddbId;
    const accurip::DiscIds ids = accurip::discIds(layout);
    const std::string mbId =
        cld::mb::musicBrainzDiscId(cld::mb::tocFromSectors(starts, disc.tracks.back().lastSector));
    if (!mbId.empty())
        object["musicbrainz_id"] = mbId;
    object["accuraterip_id"] = accurip::entryFileName(ids);
    object["read_offset"] = settingsStoreExists() ? settings.readOffsetFor(driveName) : 0;
    if (disc.cdText)
        object["cd_text"] = {{"artist", disc.artist}, {"title", disc.title}};

    DiscNames names;
    std::string namesWhy;
    const bool cached = cachedNames(settings, disc.cddbId, names, namesWhy);
    if (cached) {
        object["names"] = {{"source", "cache"},
                           {"artist", names.artist},
                           {"album", names.album},
                           {"genre", names.genre},
                           {"year", names.year}};
    } else {
        console.detail(namesWhy);
    }
    nlohmann::ordered_json tracks = nlohmann::ordered_json::array();
    for (const DiscTrack& t : disc.tracks) {
        const int32_t sectors = t.lastSector - t.firstSector + 1;
        nlohmann::ordered_json track = {{"number", t.number},
                                        {"start", t.firstSector},
                                        {"sectors", sectors},
                                        {"length", secondsText(sectors / 75.0)}};
        const size_t i = static_cast<size_t>(t.number - 1);
        if (cached && i < names.titles.size() && !names.titles[i].empty())
            track["title"] = names.titles[i];
        else if (!t.title.empty())
            track["title"] = t.title;
        tracks.push_back(track);
    }
    object["tracks"] = tracks;
    print(console, object);
    return kExitDone;
}

} // namespace

int runInfo(Console& console, SettingsRecord& settings, const InfoOptions& options) {
    if (options.drive)
        return infoDrive(console, settings, *options.drive);
    return infoFile(console, options.file);
}

} // namespace cld::cli
