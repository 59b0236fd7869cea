#include "AudioInputCheck.h"

#include "WmErrors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/md5.h>
}

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cld {

namespace {

// Whether the demuxer's comma-separated names include `name`.
bool demuxerIs(const AVFormatContext* in, const char* name) {
    const std::string names = std::string(",") + in->iformat->name + ",";
    return names.find(std::string(",") + name + ",") != std::string::npos;
}

} // namespace

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

const std::vector<std::string>& audioInputExtensions() {
    static const std::vector<std::string> list{".wav",  ".flac", ".ogg", ".oga",
                                               ".opus", ".m4a",  ".aac", ".mp3"};
    return list;
}

bool isDecodedAudioPath(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".wav")
        return false;
    const auto& list = audioInputExtensions();
    return std::find(list.begin(), list.end(), ext) != list.end();
}

uint32_t checkAudioInput(const std::string& path, const AVFormatContext* in) {
    const std::string ext = lowerExtension(path);
    bool fits = true;
    if (ext == ".wav")
        fits = demuxerIs(in, "wav");
    else if (ext == ".flac")
        fits = demuxerIs(in, "flac");
    else if (ext == ".ogg" || ext == ".oga")
        fits = demuxerIs(in, "ogg");
    else if (ext == ".opus")
        fits = demuxerIs(in, "ogg") && in->nb_streams > 0 &&
               std::any_of(in->streams, in->streams + in->nb_streams, [](const AVStream* st) {
                   return st->codecpar->codec_id == AV_CODEC_ID_OPUS;
               });
    else if (ext == ".m4a")
        fits = demuxerIs(in, "m4a");
    else if (ext == ".aac")
        fits = demuxerIs(in, "aac") || demuxerIs(in, "m4a");
    else if (ext == ".mp3")
        fits = demuxerIs(in, "mp3");
    if (!fits)
        return wmerr::kContentMismatch;
    if (demuxerIs(in, "ogg"))
        return checkOggEnd(path);
    return 0;
}

uint32_t explainOpenFailure(const std::string& path, uint32_t code) {
    const std::string ext = lowerExtension(path);
    if ((ext == ".ogg" || ext == ".oga" || ext == ".opus") &&
        checkOggEnd(path) == wmerr::kTruncated)
        return wmerr::kTruncated;
    return code;
}

uint32_t checkOggEnd(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return wmerr::kInputOpen;
    // A page is at most 27 + 255 + 255 * 255 bytes long.
    constexpr long kMaxPage = 27 + 255 + 255 * 255;
    std::vector<uint8_t> tail;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size > 0) {
        const long take = std::min(size, kMaxPage);
        tail.resize(static_cast<size_t>(take));
        if (std::fseek(f, size - take, SEEK_SET) != 0 ||
            std::fread(tail.data(), 1, tail.size(), f) != tail.size())
            tail.clear();
    }
    std::fclose(f);
    if (tail.size() < 27)
        return wmerr::kTruncated;
    // The last page is the one that begins with the capture pattern and ends exactly at the
    // file's end; the pattern may also occur inside packet data, so each candidate is
    // measured, from the end backwards.
    for (size_t at = tail.size() - 27 + 1; at-- > 0;) {
        const uint8_t* p = tail.data() + at;
        if (std::memcmp(p, "OggS", 4) != 0 || p[4] != 0)
            continue;
        const size_t segments = p[26];
        if (at + 27 + segments > tail.size())
            continue;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += p[27 + i];
        if (at + 27 + segments + body != tail.size())
            continue;
        constexpr uint8_t kEndOfStream = 0x04;
        return (p[5] & kEndOfStream) ? 0 : wmerr::kTruncated;
    }
    return wmerr::kTruncated;
}

namespace {

std::string tagText(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
    return e && e->value ? std::string(e->value) : std::string();
}

// The leading number of "3" or "3/12"; 0 when there is none.
int leadingNumber(const std::string& text) {
    int n = 0;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && n < 100000; ++i)
        n = n * 10 + (text[i] - '0');
    return n;
}

void takeFrom(const AVDictionary* dict, AudioTags& tags) {
    if (!dict)
        return;
    auto fill = [&](std::string& field, std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            if (!field.empty())
                return;
            field = tagText(dict, key);
        }
    };
    fill(tags.title, {"title"});
    fill(tags.artist, {"artist", "album_artist", "performer"});
    fill(tags.album, {"album"});
    fill(tags.albumArtist, {"album_artist", "albumartist"});
    fill(tags.genre, {"genre"});
    if (tags.year.empty()) {
        std::string date = tagText(dict, "date");
        if (date.empty())
            date = tagText(dict, "year");
        // "2001-05-03" and "2001" alike give the year.
        if (date.size() > 4 && std::all_of(date.begin(), date.begin() + 4, [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            }))
            date.resize(4);
        tags.year = date;
    }
    if (tags.track == 0) {
        const std::string track = tagText(dict, "track");
        tags.track = leadingNumber(track);
        const size_t slash = track.find('/');
        if (slash != std::string::npos && tags.trackTotal == 0)
            tags.trackTotal = leadingNumber(track.substr(slash + 1));
    }
    if (tags.trackTotal == 0) {
        tags.trackTotal = leadingNumber(tagText(dict, "tracktotal"));
        if (tags.trackTotal == 0)
            tags.trackTotal = leadingNumber(tagText(dict, "totaltracks"));
    }
}

} // namespace

AudioTags readAudioTags(const AVFormatContext* in, int audioStream) {
    AudioTags tags;
    takeFrom(in->metadata, tags);
    if (audioStream >= 0 && static_cast<unsigned>(audioStream) < in->nb_streams)
        takeFrom(in->streams[audioStream]->metadata, tags);
    return tags;
}

void addAsfTags(AVFormatContext* out, const AudioTags& tags) {
    auto add = [out](const char* key, const std::string& value) {
        if (!value.empty() && !av_dict_get(out->metadata, key, nullptr, 0))
            av_dict_set(&out->metadata, key, value.c_str(), 0);
    };
    // The muxer puts "title" and "author" into the content description; the names it
    // would give the generic "album", "genre" and "track" are the standard attributes,
    // but there is no such name for a year, so every attribute is set by its own name.
    add("title", tags.title);
    add("author", tags.artist);
    add("WM/AlbumTitle", tags.album);
    add("WM/AlbumArtist", tags.albumArtist);
    add("WM/Year", tags.year);
    add("WM/Genre", tags.genre);
    if (tags.track > 0)
        add("WM/TrackNumber", std::to_string(tags.track));
}

struct FlacMd5Check::State {
    AVMD5* md5 = nullptr;
    std::array<uint8_t, 16> expected{};
    int bits = 16;
    std::vector<uint8_t> bytes;

    ~State() { av_free(md5); }
};

FlacMd5Check::FlacMd5Check() : m(std::make_unique<State>()) {}

FlacMd5Check::~FlacMd5Check() = default;

std::unique_ptr<FlacMd5Check> FlacMd5Check::create(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    // The stream header: sizes (10 bytes), rate/channels/bits/length (8 bytes), MD5 (16).
    constexpr int kStreamInfoSize = 34;
    if (par->codec_id != AV_CODEC_ID_FLAC || !par->extradata ||
        par->extradata_size < kStreamInfoSize)
        return nullptr;
    const uint8_t* info = par->extradata;
    std::array<uint8_t, 16> expected{};
    std::memcpy(expected.data(), info + 18, expected.size());
    if (std::all_of(expected.begin(), expected.end(), [](uint8_t b) { return b == 0; }))
        return nullptr; // the encoder left the sum out
    std::unique_ptr<FlacMd5Check> check(new FlacMd5Check());
    check->m->expected = expected;
    check->m->bits = ((info[12] & 0x01) << 4 | info[13] >> 4) + 1;
    check->m->md5 = av_md5_alloc();
    if (!check->m->md5)
        return nullptr;
    av_md5_init(check->m->md5);
    return check;
}

void FlacMd5Check::add(const AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    if (packed != AV_SAMPLE_FMT_S16 && packed != AV_SAMPLE_FMT_S32)
        return; // no format the FLAC decoder gives; matches() then fails
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const bool wide = packed == AV_SAMPLE_FMT_S32;
    const int channels = frame->ch_layout.nb_channels;
    const int shift = (wide ? 32 : 16) - m->bits;
    if (shift < 0)
        return; // samples narrower than the header says; matches() then fails
    const int width = (m->bits + 7) / 8;
    const size_t values = static_cast<size_t>(frame->nb_samples) * static_cast<size_t>(channels);
    m->bytes.resize(values * static_cast<size_t>(width));
    uint8_t* out = m->bytes.data();
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const size_t index =
                planar ? static_cast<size_t>(i) : static_cast<size_t>(i) * channels + c;
            const uint8_t* plane = frame->extended_data[planar ? c : 0];
            int32_t v = wide ? reinterpret_cast<const int32_t*>(plane)[index]
                             : reinterpret_cast<const int16_t*>(plane)[index];
            v >>= shift;
            for (int b = 0; b < width; ++b)
                *out++ = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b));
        }
    }
    av_md5_update(m->md5, m->bytes.data(), m->bytes.size());
}

bool FlacMd5Check::matches() {
    std::array<uint8_t, 16> sum{};
    av_md5_final(m->md5, sum.data());
    av_md5_init(m->md5);
    return sum == m->expected;
}

} // namespace cld
