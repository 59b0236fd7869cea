#include "Mp3Bitrates.h"

#include "SettingsRecord.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace cld {
namespace {

constexpr std::array<Mp3BitrateEntry, kMp3BitrateCount> kList{{
    {8, "8 kbps (Very Low Quality, Phone)"},
    {16, "16 kbps (Very Low Quality, SW)"},
    {24, "24 kbps (Low Quality, AM)"},
    {32, "32 kbps (Low Quality, AM)"},
    {40, "40 kbps (Low Quality, FM)"},
    {48, "48 kbps (Medium Quality, FM)"},
    {56, "56 kbps (Medium Quality, Voice)"},
    {64, "64 kbps (Medium Quality, Tape)"},
    {80, "80 kbps (Normal Quality, Tape)"},
    {96, "96 kbps (Normal Quality, HI-FI/LP)"},
    {112, "112 kbps (High Quality, CD quality)"},
    {128, "128 kbps (High Quality, CD transparency)"},
    {160, "160 kbps (High Quality, CD HI-FI)"},
    {192, "192 kbps (High Quality, Studio)"},
    {224, "224 kbps (Very High Quality, Studio)"},
    {256, "256 kbps (Very High Quality, Studio)"},
    {320, "320 kpbs (Maximum Quality, Studio HI-FI)"},
}};

} // namespace

std::span<const Mp3BitrateEntry> mp3BitrateList() {
    return kList;
}

int leadingNumber(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        value = value * 10 + (c - '0');
        if (value > 1000000)
            break;
    }
    return value;
}

int encodingBitrateFromText(const std::string& text) {
    const int n = leadingNumber(text);
    return n >= 8 && n <= 320 ? n : 128;
}

int encodingBitrateOfEntry(int index) {
    if (index < 0 || index >= kMp3BitrateCount)
        return 128;
    return encodingBitrateFromText(kList[static_cast<size_t>(index)].text);
}

int firstEntryWithPrefix(const std::string& prefix) {
    for (size_t i = 0; i < kList.size(); ++i) {
        const std::string text = kList[i].text;
        if (text.size() < prefix.size())
            continue;
        bool same = true;
        for (size_t k = 0; same && k < prefix.size(); ++k)
            same = std::tolower(static_cast<unsigned char>(text[k])) ==
                   std::tolower(static_cast<unsigned char>(prefix[k]));
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}

int sliderToListIndex(int position, int currentIndex) {
    const int t = position - position % 8;
    const int found = firstEntryWithPrefix(std::to_string(t));
    return found >= 0 ? found : currentIndex;
}

int openingListIndex(int stored) {
    const int index128 = firstEntryWithPrefix("128");
    if (stored > 0 && stored < kMp3BitrateCount)
        return stored;
    if (stored >= kMp3BitrateCount && stored <= kMp3SliderMax)
        return sliderToListIndex(stored, index128);
    return index128;
}

int storedMp3Bitrate(const SettingsRecord& settings) {
    return encodingBitrateOfEntry(openingListIndex(settings.lastMP3Bitrate()));
}

Mp3EncoderParams mp3ParamsFromSettings(const SettingsRecord& s, int encodingBitrate,
                                       const Mp3EncoderParams& previous) {
    Mp3EncoderParams p = previous;
    p.channelMode = std::clamp(s.audioChannels(), 0, 4);
    p.bitrate = encodingBitrate >= 8 && encodingBitrate <= 320 ? encodingBitrate : 128;
    p.quality = std::clamp(s.mp3Quality(), 0, 9);
    p.spare = 0;
    if (s.mp3BitrateType() == 1) {
        p.vbrMethod = std::clamp(s.vbrMethod(), 0, 2) + 1;
        p.vbrQuality = std::clamp(s.vbrQuality(), 0, 9);
        p.vbrMaxBitrate = std::clamp(s.maxVBRBitrate(), 16, 320);
        p.abrMeanBitrate = std::clamp(s.meanVBRBitrate(), 16, 256);
        // The library stops the process on a maximum below the minimum or a mean
        // outside the two; the minimum is what the user picked in the list, so the
        // bounds make room for it.
        p.vbrMaxBitrate = std::max(p.vbrMaxBitrate, p.bitrate);
        p.abrMeanBitrate = std::clamp(p.abrMeanBitrate, p.bitrate, p.vbrMaxBitrate);
    } else {
        p.vbrMethod = 0;
    }
    p.crc = s.materialCRC() ? 1 : 0;
    p.copyright = s.materialCopyrighted() ? 1 : 0;
    p.original = s.materialOriginal() ? 1 : 0;
    p.privateFlag = s.materialPrivate() ? 1 : 0;
    return p;
}

std::string mp3BitrateText(const Mp3EncoderParams& params) {
    char buf[64];
    if (params.vbrMethod != 0)
        std::snprintf(buf, sizeof buf, "VBR %d-%d Kbps", params.bitrate, params.vbrMaxBitrate);
    else
        std::snprintf(buf, sizeof buf, "%d Kbps", params.bitrate);
    return buf;
}

IntegerFieldResult readIntegerField(const std::string& text, int lo, int hi) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    IntegerFieldResult r;
    if (b == e)
        return r;
    long long value = 0;
    const char* first = text.data() + b;
    const char* last = text.data() + e;
    if (*first == '+')
        ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ptr != last || first == last) {
        return r;
    }
    if (ec == std::errc::result_out_of_range || value < lo || value > hi) {
        r.status = IntegerField::OutOfRange;
        return r;
    }
    r.status = IntegerField::Ok;
    r.value = static_cast<int>(value);
    return r;
}

engine::EncoderOptions mp3EncoderOptions(const Mp3EncoderParams& p, bool id3v2) {
    engine::EncoderOptions o{{"bitrate", std::to_string(p.bitrate)},
                             {"mode", std::to_string(p.channelMode)},
                             {"quality", std::to_string(p.quality)},
                             {"vbr", std::to_string(p.vbrMethod)},
                             {"crc", std::to_string(p.crc)},
                             {"copyright", std::to_string(p.copyright)},
                             {"original", std::to_string(p.original)},
                             {"private", std::to_string(p.privateFlag)},
                             {"id3v2", std::to_string(id3v2 ? 1 : 0)}};
    if (p.vbrMethod != 0) {
        o.emplace("vbrquality", std::to_string(p.vbrQuality));
        o.emplace("maxbitrate", std::to_string(p.vbrMaxBitrate));
        o.emplace("meanbitrate", std::to_string(p.abrMeanBitrate));
    }
    return o;
}

} // namespace cld
