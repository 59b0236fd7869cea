#include "SettingsRecord.h"

#include "CRegistry.h"
#include "Log.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>
#include <variant>

namespace cld {

struct IntSetting {
    int SettingsRecord::*member;
    int defaultValue;
    int minValue;
    int maxValue;
};

struct TextSetting {
    std::string SettingsRecord::*member;
};

struct Setting {
    const char* section;
    const char* name;
    std::variant<IntSetting, TextSetting> kind;
};

// Every value that LoadSettings reads, in the order it reads them. The ranges are those the
// dialogs accept; a stored value outside its range reads as the default.
struct SettingsTable {
    static const Setting kEntries[];
    static const Setting* find(const char* section, const char* name);
};

const Setting SettingsTable::kEntries[] = {
    {SettingsRecord::kPreferences, "LastCD", TextSetting{&SettingsRecord::m_lastCD}},
    {SettingsRecord::kPreferences, "ErrorCorrection",
     IntSetting{&SettingsRecord::m_errorCorrection, 1, 0, 2}},
    {SettingsRecord::kPreferences, "GrabFormat",
     IntSetting{&SettingsRecord::m_grabFormat, SettingsRecord::kGrabToWav,
                SettingsRecord::kGrabToWav, SettingsRecord::kGrabToFlac}},
    {SettingsRecord::kPreferences, "GrabEncoder", TextSetting{&SettingsRecord::m_grabEncoder}},
    {SettingsRecord::kPreferences, "GrabEncoderOptions",
     TextSetting{&SettingsRecord::m_grabEncoderOptions}},
    {SettingsRecord::kPreferences, "FreeDBServer", TextSetting{&SettingsRecord::m_freeDBServer}},
    {SettingsRecord::kPreferences, "UseProxy", IntSetting{&SettingsRecord::m_useProxy, 0, 0, 1}},
    {SettingsRecord::kPreferences, "ProxyServer", TextSetting{&SettingsRecord::m_proxyServer}},
    {SettingsRecord::kPreferences, "ProxyPort",
     IntSetting{&SettingsRecord::m_proxyPort, 8080, 1, 65535}},
    {SettingsRecord::kPreferences, "FreeDBEmail", TextSetting{&SettingsRecord::m_freeDBEmail}},
    {SettingsRecord::kPreferences, "FreeDBDeadline",
     IntSetting{&SettingsRecord::m_freeDBDeadline, 30, 5, 600}},
    {SettingsRecord::kPreferences, "DiscNameSource",
     IntSetting{&SettingsRecord::m_discNameSource, 0, 0, 2}},
    {SettingsRecord::kPreferences, "MusicBrainzServer",
     TextSetting{&SettingsRecord::m_musicBrainzServer}},
    {SettingsRecord::kPreferences, "CoverArtServer",
     TextSetting{&SettingsRecord::m_coverArtServer}},
    {SettingsRecord::kPreferences, "ParallelJobs",
     IntSetting{&SettingsRecord::m_parallelJobs, 0, 0, SettingsRecord::kMaxParallelJobs}},
    {SettingsRecord::kHistory, "LastWMAOutFolder",
     TextSetting{&SettingsRecord::m_lastWMAOutFolder}},
    {SettingsRecord::kHistory, "LastWMARecorderFolder",
     TextSetting{&SettingsRecord::m_lastWMARecorderFolder}},
    {SettingsRecord::kHistory, "LastRecWMAProfileIndex",
     IntSetting{&SettingsRecord::m_lastRecWMAProfileIndex, 0, 0, INT_MAX}},
    {SettingsRecord::kHistory, "LastWMVProfileIndex",
     IntSetting{&SettingsRecord::m_lastWMVProfileIndex, 0, 0, INT_MAX}},
    {SettingsRecord::kHistory, "LastWMAProfileIndex",
     IntSetting{&SettingsRecord::m_lastWMAProfileIndex, 0, 0, INT_MAX}},
    {SettingsRecord::kHistory, "LastWAVInFolder", TextSetting{&SettingsRecord::m_lastWAVInFolder}},
    {SettingsRecord::kHistory, "LastWAVOutFolder",
     TextSetting{&SettingsRecord::m_lastWAVOutFolder}},
    {SettingsRecord::kHistory, "LastMP3OutFolder",
     TextSetting{&SettingsRecord::m_lastMP3OutFolder}},
    {SettingsRecord::kHistory, "LastVideoInFolder",
     TextSetting{&SettingsRecord::m_lastVideoInFolder}},
    // The advanced MP3 dialog briefly stores its minimum bitrate (up to 320) here before the
    // calling dialog stores the list index, so both kinds of number are accepted.
    {SettingsRecord::kHistory, "LastMP3Bitrate",
     IntSetting{&SettingsRecord::m_lastMP3Bitrate, 0, 0, 320}},
    {SettingsRecord::kHistory, "MP3BitrateType",
     IntSetting{&SettingsRecord::m_mp3BitrateType, 0, 0, 1}},
    {SettingsRecord::kHistory, "VBRMethod", IntSetting{&SettingsRecord::m_vbrMethod, 2, 0, 2}},
    {SettingsRecord::kHistory, "VBRQuality", IntSetting{&SettingsRecord::m_vbrQuality, 0, 0, 9}},
    {SettingsRecord::kHistory, "MP3Quality", IntSetting{&SettingsRecord::m_mp3Quality, 1, 0, 9}},
    {SettingsRecord::kHistory, "AudioChannels",
     IntSetting{&SettingsRecord::m_audioChannels, 4, 0, 4}},
    {SettingsRecord::kHistory, "MeanVBRBitrate",
     IntSetting{&SettingsRecord::m_meanVBRBitrate, 128, 16, 256}},
    {SettingsRecord::kHistory, "MaxVBRBitrate",
     IntSetting{&SettingsRecord::m_maxVBRBitrate, 192, 16, 320}},
    {SettingsRecord::kHistory, "MaterialPrivate",
     IntSetting{&SettingsRecord::m_materialPrivate, 0, 0, 1}},
    {SettingsRecord::kHistory, "MaterialCopyrighted",
     IntSetting{&SettingsRecord::m_materialCopyrighted, 0, 0, 1}},
    {SettingsRecord::kHistory, "MaterialOriginal",
     IntSetting{&SettingsRecord::m_materialOriginal, 0, 0, 1}},
    {SettingsRecord::kHistory, "MaterialCRC", IntSetting{&SettingsRecord::m_materialCRC, 0, 0, 1}},
    // 1: MP3 files get a UTF-8 tag (ID3 version 2.4) at the front besides the ID3 version 1
    // tag at the end; 0: only the latter.
    {SettingsRecord::kHistory, "MP3ID3v2Tag", IntSetting{&SettingsRecord::m_mp3Id3v2Tag, 1, 0, 1}},
    // 1: the MP3 jobs measure the loudness and write ReplayGain values into that tag.
    {SettingsRecord::kHistory, "MP3ReplayGain",
     IntSetting{&SettingsRecord::m_mp3ReplayGain, 0, 0, 1}},
    // 1: the encoders whose files hold a picture (FLAC, Opus, Ogg Vorbis, AAC) embed the
    // disc's or the input's cover; 0: the cover stays beside the files only.
    {SettingsRecord::kHistory, "EmbedCover", IntSetting{&SettingsRecord::m_embedCover, 1, 0, 1}},
    {SettingsRecord::kComponents, "WMFRedist", IntSetting{&SettingsRecord::m_wmfRedist, 0, 0, 1}},
};

const Setting* SettingsTable::find(const char* section, const char* name) {
    for (const auto& e : kEntries) {
        if (std::strcmp(e.section, section) == 0 && std::strcmp(e.name, name) == 0)
            return &e;
    }
    return nullptr;
}

} // namespace cld

using cld::IntSetting;
using cld::SettingsTable;
using cld::TextSetting;

namespace {

bool inRange(const IntSetting& s, int value) {
    return value >= s.minValue && value <= s.maxValue;
}

} // namespace

SettingsRecord::SettingsRecord(std::string appName, std::string registryKey)
    : m_appName(std::move(appName)), m_registryKey(std::move(registryKey)) {}

std::string SettingsRecord::profileKeyPath() const {
    return "Software\\" + m_registryKey + "\\" + m_appName;
}

std::string SettingsRecord::sectionKeyPath(const std::string& section) const {
    return profileKeyPath() + "\\" + section;
}

void SettingsRecord::setProgramFolder(const std::string& folder) {
    m_programFolder = folder;
    if (m_programFolder.empty() || m_programFolder.back() != '/')
        m_programFolder += '/';
}

void SettingsRecord::LoadSettings() {
    for (const auto& e : SettingsTable::kEntries) {
        if (std::strcmp(e.section, kComponents) == 0)
            continue;
        if (const auto* i = std::get_if<IntSetting>(&e.kind)) {
            const int value = getProfileInt(e.section, e.name, i->defaultValue);
            if (inRange(*i, value)) {
                this->*(i->member) = value;
            } else {
                cld::logf(cld::LogLevel::Warning,
                          "setting %s\\%s holds %d, outside %d..%d; %d is used instead.", e.section,
                          e.name, value, i->minValue, i->maxValue, i->defaultValue);
                this->*(i->member) = i->defaultValue;
            }
        } else {
            const auto& t = std::get<TextSetting>(e.kind);
            this->*(t.member) = getProfileString(e.section, e.name, this->*(t.member));
        }
    }
}

void SettingsRecord::loadComponents() {
    const IntSetting& s = std::get<IntSetting>(SettingsTable::find(kComponents, "WMFRedist")->kind);
    const int value = getProfileInt(kComponents, "WMFRedist", s.defaultValue);
    m_wmfRedist = inRange(s, value) ? value : s.defaultValue;
}

namespace {

void reportUnreadable(const char* section, const char* name, DWORD error) {
    if (error == ERROR_UNSUPPORTED_TYPE || error == ERROR_DATATYPE_MISMATCH)
        cld::logf(cld::LogLevel::Warning, "setting %s\\%s has the wrong type; its default is used.",
                  section, name);
    else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_SUCCESS)
        cld::logf(cld::LogLevel::Warning,
                  "setting %s\\%s cannot be read (error %u); its default is used.", section, name,
                  static_cast<unsigned>(error));
}

} // namespace

int SettingsRecord::getProfileInt(const char* section, const char* name, int defaultValue) {
    if (!section || !name)
        return defaultValue;
    CRegistry reg;
    if (!reg.ConnectRoot(HKEY_CURRENT_USER) ||
        !reg.OpenKey(sectionKeyPath(section).c_str(), KEY_READ))
        return defaultValue;
    DWORD value = 0;
    if (!reg.ReadDword(name, value)) {
        reportUnreadable(section, name, reg.LastError());
        return defaultValue;
    }
    return static_cast<int>(static_cast<std::int32_t>(value));
}

std::string SettingsRecord::getProfileString(const char* section, const char* name,
                                             const std::string& defaultValue) {
    if (!section || !name)
        return defaultValue;
    CRegistry reg;
    if (!reg.ConnectRoot(HKEY_CURRENT_USER) ||
        !reg.OpenKey(sectionKeyPath(section).c_str(), KEY_READ))
        return defaultValue;
    std::string text;
    if (!reg.ReadString(name, text)) {
        reportUnreadable(section, name, reg.LastError());
        return defaultValue;
    }
    return text;
}

namespace {

void reportWriteFailure(const char* section, const char* name, DWORD error) {
    cld::logf(cld::LogLevel::Error, "setting %s\\%s could not be saved (error %u).", section, name,
              static_cast<unsigned>(error));
}

} // namespace

bool SettingsRecord::writeProfileInt(const char* section, const char* name, int value) {
    if (!section || !name) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    CRegistry reg;
    const bool ok = reg.ConnectRoot(HKEY_CURRENT_USER) &&
                    reg.CreateKey(sectionKeyPath(section).c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE) &&
                    reg.WriteDword(name, static_cast<DWORD>(value));
    m_lastError = reg.LastError();
    if (!ok)
        reportWriteFailure(section, name, m_lastError);
    return ok;
}

bool SettingsRecord::writeProfileString(const char* section, const char* name,
                                        const std::string& value) {
    if (!section || !name || value.find('\0') != std::string::npos) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    CRegistry reg;
    const bool ok = reg.ConnectRoot(HKEY_CURRENT_USER) &&
                    reg.CreateKey(sectionKeyPath(section).c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE) &&
                    reg.WriteString(name, value.c_str());
    m_lastError = reg.LastError();
    if (!ok)
        reportWriteFailure(section, name, m_lastError);
    return ok;
}

bool SettingsRecord::setInt(const char* section, const char* name, int& member, int value) {
    const auto* entry = SettingsTable::find(section, name);
    if (entry && !inRange(std::get<IntSetting>(entry->kind), value)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    member = value;
    return writeProfileInt(section, name, value);
}

bool SettingsRecord::setString(const char* section, const char* name, std::string& member,
                               const std::string& value) {
    if (value.find('\0') != std::string::npos) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    member = value;
    return writeProfileString(section, name, value);
}

// "Preferences"

bool SettingsRecord::setLastCD(const std::string& value) {
    return setString(kPreferences, "LastCD", m_lastCD, value);
}

bool SettingsRecord::setErrorCorrection(int value) {
    return setInt(kPreferences, "ErrorCorrection", m_errorCorrection, value);
}

bool SettingsRecord::setGrabFormat(int value) {
    return setInt(kPreferences, "GrabFormat", m_grabFormat, value);
}

bool SettingsRecord::setGrabEncoder(const std::string& value) {
    return setString(kPreferences, "GrabEncoder", m_grabEncoder, value);
}

bool SettingsRecord::setGrabEncoderOptions(const std::string& value) {
    return setString(kPreferences, "GrabEncoderOptions", m_grabEncoderOptions, value);
}

bool SettingsRecord::setFreeDBServer(const std::string& value) {
    return setString(kPreferences, "FreeDBServer", m_freeDBServer, value);
}

bool SettingsRecord::setUseProxy(int value) {
    return setInt(kPreferences, "UseProxy", m_useProxy, value);
}

bool SettingsRecord::setProxyServer(const std::string& value) {
    return setString(kPreferences, "ProxyServer", m_proxyServer, value);
}

bool SettingsRecord::setProxyPort(int value) {
    return setInt(kPreferences, "ProxyPort", m_proxyPort, value);
}

bool SettingsRecord::setFreeDBEmail(const std::string& value) {
    return setString(kPreferences, "FreeDBEmail", m_freeDBEmail, value);
}

bool SettingsRecord::setParallelJobs(int value) {
    return setInt(kPreferences, "ParallelJobs", m_parallelJobs, value);
}

int SettingsRecord::parallelJobCount() const {
    return effectiveParallelJobs(m_parallelJobs, std::thread::hardware_concurrency());
}

int SettingsRecord::effectiveParallelJobs(int stored, unsigned cores) {
    if (stored < 1 || stored > kMaxParallelJobs) {
        // An unknown core count (0) runs one job at a time.
        const unsigned n = std::clamp(cores, 1u, static_cast<unsigned>(kMaxParallelJobs));
        return static_cast<int>(n);
    }
    return stored;
}

bool SettingsRecord::setFreeDBDeadline(int value) {
    return setInt(kPreferences, "FreeDBDeadline", m_freeDBDeadline, value);
}

bool SettingsRecord::setDiscNameSource(int value) {
    return setInt(kPreferences, "DiscNameSource", m_discNameSource, value);
}

bool SettingsRecord::setMusicBrainzServer(const std::string& value) {
    return setString(kPreferences, "MusicBrainzServer", m_musicBrainzServer, value);
}

bool SettingsRecord::setCoverArtServer(const std::string& value) {
    return setString(kPreferences, "CoverArtServer", m_coverArtServer, value);
}

bool SettingsRecord::setCddbOptions(const std::string& freeDBServer, const std::string& proxyServer,
                                    int useProxy, int proxyPort) {
    const auto valid = [](const char* name, int value) {
        return inRange(std::get<IntSetting>(SettingsTable::find(kPreferences, name)->kind), value);
    };
    if (!valid("UseProxy", useProxy) || !valid("ProxyPort", proxyPort) ||
        freeDBServer.find('\0') != std::string::npos ||
        proxyServer.find('\0') != std::string::npos) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    // Every value is written even when one fails, so that as much as possible is kept.
    bool ok = setFreeDBServer(freeDBServer);
    DWORD firstError = m_lastError;
    const auto keep = [&](bool written) {
        if (!written && ok) {
            ok = false;
            firstError = m_lastError;
        }
    };
    keep(setProxyServer(proxyServer));
    keep(setUseProxy(useProxy));
    keep(setProxyPort(proxyPort));
    m_lastError = ok ? ERROR_SUCCESS : firstError;
    return ok;
}

// "History"

bool SettingsRecord::setLastWMAOutFolder(const std::string& value) {
    return setString(kHistory, "LastWMAOutFolder", m_lastWMAOutFolder, value);
}

bool SettingsRecord::setLastWMARecorderFolder(const std::string& value) {
    return setString(kHistory, "LastWMARecorderFolder", m_lastWMARecorderFolder, value);
}

bool SettingsRecord::setLastRecWMAProfileIndex(int value) {
    return setInt(kHistory, "LastRecWMAProfileIndex", m_lastRecWMAProfileIndex, value);
}

bool SettingsRecord::setLastWMVProfileIndex(int value) {
    return setInt(kHistory, "LastWMVProfileIndex", m_lastWMVProfileIndex, value);
}

bool SettingsRecord::setLastWMAProfileIndex(int value) {
    return setInt(kHistory, "LastWMAProfileIndex", m_lastWMAProfileIndex, value);
}

bool SettingsRecord::setLastWAVInFolder(const std::string& value) {
    return setString(kHistory, "LastWAVInFolder", m_lastWAVInFolder, value);
}

bool SettingsRecord::setLastWAVOutFolder(const std::string& value) {
    return setString(kHistory, "LastWAVOutFolder", m_lastWAVOutFolder, value);
}

bool SettingsRecord::setLastMP3OutFolder(const std::string& value) {
    return setString(kHistory, "LastMP3OutFolder", m_lastMP3OutFolder, value);
}

bool SettingsRecord::setLastVideoInFolder(const std::string& value) {
    return setString(kHistory, "LastVideoInFolder", m_lastVideoInFolder, value);
}

bool SettingsRecord::setLastMP3Bitrate(int value) {
    return setInt(kHistory, "LastMP3Bitrate", m_lastMP3Bitrate, value);
}

bool SettingsRecord::setMp3BitrateType(int value) {
    return setInt(kHistory, "MP3BitrateType", m_mp3BitrateType, value);
}

bool SettingsRecord::setVbrMethod(int value) {
    return setInt(kHistory, "VBRMethod", m_vbrMethod, value);
}

bool SettingsRecord::setVbrQuality(int value) {
    return setInt(kHistory, "VBRQuality", m_vbrQuality, value);
}

bool SettingsRecord::setMp3Quality(int value) {
    return setInt(kHistory, "MP3Quality", m_mp3Quality, value);
}

bool SettingsRecord::setAudioChannels(int value) {
    return setInt(kHistory, "AudioChannels", m_audioChannels, value);
}

bool SettingsRecord::setMeanVBRBitrate(int value) {
    return setInt(kHistory, "MeanVBRBitrate", m_meanVBRBitrate, value);
}

bool SettingsRecord::setMaxVBRBitrate(int value) {
    return setInt(kHistory, "MaxVBRBitrate", m_maxVBRBitrate, value);
}

bool SettingsRecord::setMaterialPrivate(int value) {
    return setInt(kHistory, "MaterialPrivate", m_materialPrivate, value);
}

bool SettingsRecord::setMaterialCopyrighted(int value) {
    return setInt(kHistory, "MaterialCopyrighted", m_materialCopyrighted, value);
}

bool SettingsRecord::setMaterialOriginal(int value) {
    return setInt(kHistory, "MaterialOriginal", m_materialOriginal, value);
}

bool SettingsRecord::setMaterialCRC(int value) {
    return setInt(kHistory, "MaterialCRC", m_materialCRC, value);
}

bool SettingsRecord::setMp3Id3v2Tag(int value) {
    return setInt(kHistory, "MP3ID3v2Tag", m_mp3Id3v2Tag, value);
}

bool SettingsRecord::setMp3ReplayGain(int value) {
    return setInt(kHistory, "MP3ReplayGain", m_mp3ReplayGain, value);
}

bool SettingsRecord::setEmbedCover(int value) {
    return setInt(kHistory, "EmbedCover", m_embedCover, value);
}

// "Components"

bool SettingsRecord::setWmfRedist(int value) {
    return setInt(kComponents, "WMFRedist", m_wmfRedist, value);
}

// "AccurateRip"

namespace {
std::string readOffsetValueName(const std::string& drive) {
    std::string name = "ReadOffset " + drive;
    for (char& c : name)
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return name;
}
} // namespace

int SettingsRecord::readOffsetFor(const std::string& drive) {
    return getProfileInt(kAccurateRip, readOffsetValueName(drive).c_str(), 0);
}

bool SettingsRecord::setReadOffsetFor(const std::string& drive, int offset) {
    if (!readOffsetInRange(offset))
        return false;
    return writeProfileInt(kAccurateRip, readOffsetValueName(drive).c_str(), offset);
}

bool SettingsRecord::accurateRipLookup() {
    return getProfileInt(kAccurateRip, "Lookup", 1) != 0;
}

bool SettingsRecord::setAccurateRipLookup(bool on) {
    return writeProfileInt(kAccurateRip, "Lookup", on ? 1 : 0);
}

bool SettingsRecord::testAndCopy() {
    return getProfileInt(kAccurateRip, "TestAndCopy", 0) != 0;
}

bool SettingsRecord::setTestAndCopy(bool on) {
    return writeProfileInt(kAccurateRip, "TestAndCopy", on ? 1 : 0);
}

bool SettingsRecord::setAccurateRipServer(const std::string& server) {
    return writeProfileString(kAccurateRip, "Server", server);
}

bool SettingsRecord::setCtdbServer(const std::string& server) {
    return writeProfileString(kAccurateRip, "CTDBServer", server);
}

std::string SettingsRecord::ctdbServer() {
    const std::string server = getProfileString(kAccurateRip, "CTDBServer", kDefaultCtdbServer);
    return server.empty() ? std::string(kDefaultCtdbServer) : server;
}

std::string SettingsRecord::accurateRipServer() {
    const std::string server = getProfileString(kAccurateRip, "Server", kDefaultAccurateRipServer);
    return server.empty() ? std::string(kDefaultAccurateRipServer) : server;
}
