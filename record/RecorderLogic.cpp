#include "RecorderLogic.h"

#include "SettingsRecord.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <sys/statvfs.h>

namespace cld {
namespace {

constexpr std::array<const char*, 17> kBitrates{
    "8 kbps (Very Low Quality, Phone)",
    "16 kbps (Very Low Quality, SW)",
    "24 kbps (Low Quality, AM)",
    "32 kbps (Low Quality, AM)",
    "40 kbps (Low Quality, FM)",
    "48 kbps (Medium Quality, FM)",
    "56 kbps (Medium Quality, Voice)",
    "64 kbps (Medium Quality, Tape)",
    "80 kbps (Normal Quality, Tape)",
    "96 kbps (Normal Quality, HI-FI/LP)",
    "112 kbps (High Quality, CD quality)",
    "128 kbps (High Quality, CD transparency)",
    "160 kbps (High Quality, CD HI-FI)",
    "192 kbps (High Quality, Studio)",
    "224 kbps (Very High Quality, Studio)",
    "256 kbps (Very High Quality, Studio)",
    "320 kpbs (Maximum Quality, Studio HI-FI)",
};

} // namespace

std::span<const char* const> recorderBitrateTexts() {
    return kBitrates;
}

int recorderLeadingNumber(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        if (value > 100000)
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

int findItemWithPrefix(std::span<const char* const> items, const std::string& prefix) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (strncasecmp(items[i], prefix.c_str(), prefix.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int initialBitrateIndex(int lastMP3Bitrate) {
    if (lastMP3Bitrate > 0 && lastMP3Bitrate < static_cast<int>(kBitrates.size()))
        return lastMP3Bitrate;
    return findItemWithPrefix(kBitrates, "128");
}

int bitrateIndexForSlider(int position) {
    const int rounded = position - position % 8;
    return findItemWithPrefix(kBitrates, std::to_string(rounded));
}

int chosenBitrate(int index) {
    if (index < 0 || index >= static_cast<int>(kBitrates.size()))
        return 128;
    const int value = recorderLeadingNumber(kBitrates[static_cast<size_t>(index)]);
    return value < 8 || value > 320 ? 128 : value;
}

std::string proposedRecorderFolder(const std::string& lastFolder, const char* sub) {
    if (lastFolder.empty())
        return {};
    std::string folder = lastFolder;
    if (folder.back() != '/')
        folder += '/';
    return folder + sub;
}

std::string recordingTimeText(std::time_t when, FileNameStyle style) {
    std::tm local{};
    localtime_r(&when, &local);
    // The long form: "Monday, December 7, 2026 18:41:29", with names in the user's
    // language.
    char head[128];
    char tail[64];
    std::string name;
    if (std::strftime(head, sizeof head, "%A, %B ", &local) != 0 &&
        std::strftime(tail, sizeof tail, ", %Y %H:%M:%S", &local) != 0)
        name = std::string(head) + std::to_string(local.tm_mday) + tail;
    else
        name = std::to_string(static_cast<long long>(when));
    for (char& c : name) {
        if (c == ':')
            c = '.';
        else if (c == '/')
            c = style == FileNameStyle::Mp3 ? '.' : '-';
        else if (c == '\\')
            c = style == FileNameStyle::Mp3 ? '.' : '-';
    }
    return name;
}

std::string recordingFilePath(const std::string& folder, std::time_t when, FileNameStyle style,
                              const char* extension) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    const std::string stem = path + "RecFile - " + recordingTimeText(when, style);
    std::string candidate = stem + extension;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(candidate, ec) && n < 1000; ++n)
        candidate = stem + " (" + std::to_string(n) + ")" + extension;
    return candidate;
}

void fillRecorderParams(const SettingsRecord& settings, int bitrate, Mp3EncoderParams& params) {
    params.channelMode = settings.audioChannels();
    params.bitrate = bitrate;
    params.quality = settings.mp3Quality();
    params.copyright = settings.materialCopyrighted();
    params.crc = settings.materialCRC();
    params.original = settings.materialOriginal();
    params.privateFlag = settings.materialPrivate();
    if (settings.mp3BitrateType() != 0) {
        params.vbrMaxBitrate = settings.maxVBRBitrate();
        params.abrMeanBitrate = settings.meanVBRBitrate();
        params.vbrQuality = settings.vbrQuality();
        params.vbrMethod = settings.vbrMethod() + 1;
    } else {
        params.vbrMethod = 0;
    }
}

std::string bitrateText(const Mp3EncoderParams& params) {
    char text[64];
    if (params.vbrMethod == 0)
        std::snprintf(text, sizeof text, "%d Kbps", params.bitrate);
    else
        std::snprintf(text, sizeof text, "VBR %d-%d Kbps", params.bitrate, params.vbrMaxBitrate);
    return text;
}

std::optional<DiskSpace> queryDiskSpace(const std::string& folder) {
    namespace fs = std::filesystem;
    fs::path path = folder.empty() ? fs::path(".") : fs::path(folder);
    std::error_code ec;
    // A folder that is not made yet is measured on the disk it will be made on.
    while (!fs::exists(path, ec) && path.has_relative_path() && path != path.parent_path())
        path = path.parent_path();
    if (path.empty())
        path = ".";
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        return std::nullopt;
    const uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    DiskSpace space;
    space.freeMiB = static_cast<uint64_t>(st.f_bavail) * unit / 1048576u;
    space.totalMiB = static_cast<uint64_t>(st.f_blocks) * unit / 1048576u;
    return space;
}

std::string gigabyteText(uint64_t mebibytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(mebibytes) / 1024.0);
    return text;
}

std::string elapsedText(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    seconds %= 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

} // namespace cld
