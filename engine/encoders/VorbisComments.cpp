#include "VorbisComments.h"

#include "Mp3Tags.h"
#include "SafeFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace cld::engine {

namespace {

std::string fixed(double value, int digits) {
    char text[48];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t big16(const std::vector<std::uint8_t>& b, size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 8 | b[at + 1];
}

std::uint32_t big32(const std::vector<std::uint8_t>& b, size_t at) {
    return big16(b, at) << 16 | big16(b, at + 2);
}

} // namespace

std::string replayGainText(double db) {
    std::string text = fixed(db, 2);
    if (text[0] != '-')
        text.insert(text.begin(), '+');
    return text + " dB";
}

std::string replayPeakText(double peak) {
    return fixed(peak, 6);
}

int r128Gain(double replayGainDb) {
    const double q78 = std::round((replayGainDb - 5.0) * 256.0);
    return static_cast<int>(std::clamp(q78, -32768.0, 32767.0));
}

std::vector<std::string> vorbisComments(const AudioTags& tags) {
    std::vector<std::string> out;
    const auto add = [&out](const char* name, const std::string& value) {
        const std::string text = cld::files::oneLine(cld::wellFormedUtf8(value));
        if (!text.empty())
            out.push_back(std::string(name) + "=" + text);
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("ALBUM", tags.album);
    add("ALBUMARTIST", tags.albumArtist);
    add("DATE", tags.year);
    add("GENRE", tags.genre);
    if (tags.track > 0)
        add("TRACKNUMBER", std::to_string(tags.track));
    if (tags.trackTotal > 0)
        add("TRACKTOTAL", std::to_string(tags.trackTotal));
    add("DISCID", tags.discId);
    add("ISRC", tags.isrc);
    add("BARCODE", tags.barcode);
    return out;
}

std::vector<std::string> loudnessComments(const AudioTags& tags, LoudnessTags kind) {
    std::vector<std::string> out;
    if (kind == LoudnessTags::R128) {
        if (tags.trackGainDb)
            out.push_back("R128_TRACK_GAIN=" + std::to_string(r128Gain(*tags.trackGainDb)));
        if (tags.albumGainDb)
            out.push_back("R128_ALBUM_GAIN=" + std::to_string(r128Gain(*tags.albumGainDb)));
        return out;
    }
    if (tags.trackGainDb)
        out.push_back("REPLAYGAIN_TRACK_GAIN=" + replayGainText(*tags.trackGainDb));
    if (tags.trackPeak)
        out.push_back("REPLAYGAIN_TRACK_PEAK=" + replayPeakText(*tags.trackPeak));
    if (tags.albumGainDb)
        out.push_back("REPLAYGAIN_ALBUM_GAIN=" + replayGainText(*tags.albumGainDb));
    if (tags.albumPeak)
        out.push_back("REPLAYGAIN_ALBUM_PEAK=" + replayPeakText(*tags.albumPeak));
    return out;
}

std::string coverMime(const AudioTags& tags) {
    if (tags.cover.empty())
        return {};
    if (tags.coverMime == "image/jpeg" || tags.coverMime == "image/png")
        return tags.coverMime;
    return cld::pictureMimeType(tags.cover);
}

PictureSize pictureSize(const std::vector<std::uint8_t>& p) {
    PictureSize size;
    // PNG: the signature, then the IHDR chunk with width, height, bit depth and colour type.
    if (p.size() >= 26 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G' &&
        p[12] == 'I' && p[13] == 'H' && p[14] == 'D' && p[15] == 'R') {
        size.width = big32(p, 16);
        size.height = big32(p, 20);
        static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
        const unsigned colour = p[25];
        const int channels = colour < 7 ? kChannels[colour] : 0;
        size.depth = static_cast<std::uint32_t>(channels) * p[24];
        return size;
    }
    // JPEG: the segments up to the first start-of-frame marker.
    if (p.size() < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return size;
    size_t at = 2;
    while (at + 4 <= p.size()) {
        if (p[at] != 0xFF)
            break;
        const std::uint8_t marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const std::uint32_t length = big16(p, at + 2);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && at + 10 <= p.size()) {
            size.height = big16(p, at + 5);
            size.width = big16(p, at + 7);
            size.depth = static_cast<std::uint32_t>(p[at + 4]) * p[at + 9];
            return size;
        }
        if (length < 2)
            break;
        at += 2 + length;
    }
    return size;
}

std::vector<std::uint8_t> flacPictureBlock(const AudioTags& tags) {
    const std::string mime = coverMime(tags);
    if (mime.empty() || tags.cover.size() > 0xFFFFFF - 64)
        return {};
    const PictureSize size = pictureSize(tags.cover);
    std::vector<std::uint8_t> out;
    out.reserve(tags.cover.size() + 64);
    putBig32(out, 3); // the front cover
    putBig32(out, static_cast<std::uint32_t>(mime.size()));
    out.insert(out.end(), mime.begin(), mime.end());
    putBig32(out, 0); // no description
    putBig32(out, size.width);
    putBig32(out, size.height);
    putBig32(out, size.depth);
    putBig32(out, 0); // not an indexed-colour picture
    putBig32(out, static_cast<std::uint32_t>(tags.cover.size()));
    out.insert(out.end(), tags.cover.begin(), tags.cover.end());
    return out;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16 |
                                static_cast<std::uint32_t>(bytes[i + 1]) << 8 | bytes[i + 2];
        out += kDigits[v >> 18];
        out += kDigits[v >> 12 & 63];
        out += kDigits[v >> 6 & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        out += kDigits[v >> 18];
        out += kDigits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string pictureComment(const AudioTags& tags) {
    const std::vector<std::uint8_t> block = flacPictureBlock(tags);
    return block.empty() ? std::string() : "METADATA_BLOCK_PICTURE=" + base64(block);
}

} // namespace cld::engine
