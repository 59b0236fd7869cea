#pragma once

#include "ProductIdentity.h"
#include "RegistryTypes.h"

#include <cstdint>
#include <string>

namespace cld {
struct SettingsTable;
}

// The program's settings: one member per value of the per-user profile, loaded once at
// start-up and written back value by value when the user accepts a dialog. The profile
// lives under HKEY_CURRENT_USER "Software\<registry key>\<application name>\<section>".
//
// Each typed setter writes the profile value and the member together; the member changes
// only when the value is in its range. A failed write still updates the member (the
// program goes on with what the user chose) and returns false so the caller can say so.
class SettingsRecord {
public:
    static constexpr const char* kRegistryKey = cld::identity::kRegistryKey;
    static constexpr const char* kDefaultAppName = cld::identity::kProgramName;
    static constexpr const char* kDefaultFreeDBServer = "gnudb.gnudb.org";
    static constexpr const char* kDefaultMusicBrainzServer = "musicbrainz.org";
    static constexpr const char* kDefaultCoverArtServer = "coverartarchive.org";
    // Where "Get CD Info" asks for a disc's names ("DiscNameSource").
    enum DiscNameSource : int { kMusicBrainzThenFreeDB = 0, kMusicBrainzOnly = 1, kFreeDBOnly = 2 };

    // Registry locations outside the profile that the program reads or writes.
    static constexpr const char* kLanguageKeyPath = cld::identity::kLanguageKeyPath;
    static constexpr const char* kLanguageValue = "Language";
    static constexpr const char* kPendingRenameKeyPath =
        "System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char* kPendingRenameValue = "PendingFileRenameOperations";
    // Below HKEY_CLASSES_ROOT; its unnamed value ("") holds the folder.
    static constexpr const char* kMediaProfileFolderKeyPath =
        "\\Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory";

    static constexpr const char* kPreferences = "Preferences";
    static constexpr const char* kHistory = "History";
    static constexpr const char* kComponents = "Components";

    // appName is the program file's base name ("CLD").
    explicit SettingsRecord(std::string appName = kDefaultAppName,
                            std::string registryKey = kRegistryKey);

    // "Software\Quorvane\Calderine 2002\CLD" (no trailing backslash).
    std::string profileKeyPath() const;
    std::string sectionKeyPath(const std::string& section) const;

    // Reads every "Preferences" and "History" value, in table order, into the members. A
    // missing, unreadable, wrongly typed or out-of-range value reads as its default.
    void LoadSettings();
    // Reads "Components"/"WMFRedist" (start-up reads it before everything else).
    void loadComponents();

    // Profile readers and writers. Reads never fail (they give the default); writes return
    // false when the store refused them (LastError() tells why).
    int getProfileInt(const char* section, const char* name, int defaultValue);
    std::string getProfileString(const char* section, const char* name,
                                 const std::string& defaultValue);
    bool writeProfileInt(const char* section, const char* name, int value);
    bool writeProfileString(const char* section, const char* name, const std::string& value);
    DWORD LastError() const { return m_lastError; }

    // Not stored: the folder holding the program file, ending in "/".
    const std::string& programFolder() const { return m_programFolder; }
    void setProgramFolder(const std::string& folder);

    // "Preferences"
    const std::string& lastCD() const { return m_lastCD; }
    int errorCorrection() const { return m_errorCorrection; }
    // The kind of file the grabber saves ripped tracks as ("GrabFormat").
    static constexpr int kGrabToWav = 0;
    static constexpr int kGrabToFlac = 1;
    int grabFormat() const { return m_grabFormat; }
    // The encoder the grabber saves with, by the engine's name ("GrabEncoder"; empty = the
    // one "GrabFormat" names), and the settings chosen for each encoder
    // ("GrabEncoderOptions": "ENCODER.KEY=VALUE" entries separated by ';').
    const std::string& grabEncoder() const { return m_grabEncoder; }
    const std::string& grabEncoderOptions() const { return m_grabEncoderOptions; }
    const std::string& freeDBServer() const { return m_freeDBServer; }
    int useProxy() const { return m_useProxy; }
    const std::string& proxyServer() const { return m_proxyServer; }
    int proxyPort() const { return m_proxyPort; }
    // The e-mail address CDDB servers see as the user ("FreeDBEmail", empty: the login and
    // machine names), and the longest one CDDB command may take, in seconds
    // ("FreeDBDeadline", 5 to 600, default 30).
    const std::string& freeDBEmail() const { return m_freeDBEmail; }
    int freeDBDeadline() const { return m_freeDBDeadline; }
    // "AccurateRip": the verified-rip settings, read from the profile when asked.
    // The read offset of a drive in samples, keyed by its vendor and product text
    // ("ReadOffset <drive>"); 0 when none is stored. readOffsetInRange says whether a
    // stored value is usable (|offset| <= 5000).
    static constexpr const char* kAccurateRip = "AccurateRip";
    static constexpr int kMaxReadOffset = 5000;
    static constexpr const char* kDefaultAccurateRipServer =
        "http://www.accuraterip.com/accuraterip/";
    int readOffsetFor(const std::string& drive);
    static bool readOffsetInRange(int offset) {
        return offset >= -kMaxReadOffset && offset <= kMaxReadOffset;
    }
    // Refuses (false, nothing written) a value beyond +-5000.
    bool setReadOffsetFor(const std::string& drive, int offset);
    // Whether a grab looks its disc up ("Lookup", default 1) and where ("Server"; empty
    // or missing: the public database).
    bool accurateRipLookup();
    std::string accurateRipServer();
    bool setAccurateRipLookup(bool on);
    // Whether a rip reads every track twice and compares the reads ("TestAndCopy" under
    // the same key, default 0).
    bool testAndCopy();
    bool setTestAndCopy(bool on);
    bool setAccurateRipServer(const std::string& server);
    // The CUETools database asked beside AccurateRip whenever "Lookup" allows
    // ("CTDBServer"; empty or missing: the public database).
    static constexpr const char* kDefaultCtdbServer = "http://db.cuetools.net/lookup2.php";
    std::string ctdbServer();
    bool setCtdbServer(const std::string& server);
    bool setLastCD(const std::string& value);
    bool setErrorCorrection(int value);
    bool setGrabFormat(int value);
    bool setGrabEncoder(const std::string& value);
    bool setGrabEncoderOptions(const std::string& value);
    bool setFreeDBServer(const std::string& value);
    bool setUseProxy(int value);
    bool setProxyServer(const std::string& value);
    bool setProxyPort(int value);
    bool setFreeDBEmail(const std::string& value);
    bool setFreeDBDeadline(int value);
    // Disc names and covers from MusicBrainz: which services "Get CD Info" asks
    // ("DiscNameSource", a DiscNameSource, default both with MusicBrainz first), the
    // MusicBrainz server ("MusicBrainzServer") and the cover server ("CoverArtServer"), each
    // "host", "host:port" or an http address.
    int discNameSource() const { return m_discNameSource; }
    const std::string& musicBrainzServer() const { return m_musicBrainzServer; }
    const std::string& coverArtServer() const { return m_coverArtServer; }
    bool setDiscNameSource(int value);
    bool setMusicBrainzServer(const std::string& value);
    bool setCoverArtServer(const std::string& value);
    // How many files a batch converts at once ("ParallelJobs"): 0, the default, means one
    // per processor core; 1 converts one file after another. A stored value outside
    // 0..kMaxParallelJobs reads as 0.
    static constexpr int kMaxParallelJobs = 64;
    int parallelJobs() const { return m_parallelJobs; }
    bool setParallelJobs(int value);
    // The number of jobs a batch runs at once: the stored value, or the core count for 0.
    int parallelJobCount() const;
    // The rule behind parallelJobCount, for any stored value and core count (0 when the
    // system does not tell); always 1..kMaxParallelJobs.
    static int effectiveParallelJobs(int stored, unsigned cores);
    // What the options dialog writes on OK, in its order ("FreeDBServer", "ProxyServer",
    // "UseProxy", "ProxyPort"). Nothing is written or changed unless every value is valid.
    bool setCddbOptions(const std::string& freeDBServer, const std::string& proxyServer,
                        int useProxy, int proxyPort);

    // "History"
    const std::string& lastWMAOutFolder() const { return m_lastWMAOutFolder; }
    const std::string& lastWMARecorderFolder() const { return m_lastWMARecorderFolder; }
    int lastRecWMAProfileIndex() const { return m_lastRecWMAProfileIndex; }
    int lastWMVProfileIndex() const { return m_lastWMVProfileIndex; }
    int lastWMAProfileIndex() const { return m_lastWMAProfileIndex; }
    const std::string& lastWAVInFolder() const { return m_lastWAVInFolder; }
    const std::string& lastWAVOutFolder() const { return m_lastWAVOutFolder; }
    const std::string& lastMP3OutFolder() const { return m_lastMP3OutFolder; }
    const std::string& lastVideoInFolder() const { return m_lastVideoInFolder; }
    int lastMP3Bitrate() const { return m_lastMP3Bitrate; }
    int mp3BitrateType() const { return m_mp3BitrateType; }
    int vbrMethod() const { return m_vbrMethod; }
    int vbrQuality() const { return m_vbrQuality; }
    int mp3Quality() const { return m_mp3Quality; }
    int audioChannels() const { return m_audioChannels; }
    int meanVBRBitrate() const { return m_meanVBRBitrate; }
    int maxVBRBitrate() const { return m_maxVBRBitrate; }
    int materialPrivate() const { return m_materialPrivate; }
    int materialCopyrighted() const { return m_materialCopyrighted; }
    int materialOriginal() const { return m_materialOriginal; }
    int materialCRC() const { return m_materialCRC; }
    int mp3Id3v2Tag() const { return m_mp3Id3v2Tag; }
    int mp3ReplayGain() const { return m_mp3ReplayGain; }
    // 1: files of the formats that hold a picture get the cover inside (besides folder.jpg).
    int embedCover() const { return m_embedCover; }
    bool setLastWMAOutFolder(const std::string& value);
    bool setLastWMARecorderFolder(const std::string& value);
    bool setLastRecWMAProfileIndex(int value);
    bool setLastWMVProfileIndex(int value);
    bool setLastWMAProfileIndex(int value);
    bool setLastWAVInFolder(const std::string& value);
    bool setLastWAVOutFolder(const std::string& value);
    bool setLastMP3OutFolder(const std::string& value);
    bool setLastVideoInFolder(const std::string& value);
    bool setLastMP3Bitrate(int value);
    bool setMp3BitrateType(int value);
    bool setVbrMethod(int value);
    bool setVbrQuality(int value);
    bool setMp3Quality(int value);
    bool setAudioChannels(int value);
    bool setMeanVBRBitrate(int value);
    bool setMaxVBRBitrate(int value);
    bool setMaterialPrivate(int value);
    bool setMaterialCopyrighted(int value);
    bool setMaterialOriginal(int value);
    bool setMaterialCRC(int value);
    bool setMp3Id3v2Tag(int value);
    bool setMp3ReplayGain(int value);
    bool setEmbedCover(int value);

    // "Components"
    int wmfRedist() const { return m_wmfRedist; }
    bool setWmfRedist(int value);

private:
    friend struct cld::SettingsTable;

    bool setInt(const char* section, const char* name, int& member, int value);
    bool setString(const char* section, const char* name, std::string& member,
                   const std::string& value);

    std::string m_appName;
    std::string m_registryKey;
    DWORD m_lastError = ERROR_SUCCESS;
    std::string m_programFolder;

    std::string m_lastCD;
    std::string m_grabEncoder;
    std::string m_grabEncoderOptions;
    int m_errorCorrection = 1;
    int m_grabFormat = kGrabToWav;
    std::string m_freeDBServer = kDefaultFreeDBServer;
    int m_useProxy = 0;
    std::string m_proxyServer;
    int m_proxyPort = 8080;
    std::string m_freeDBEmail;
    int m_freeDBDeadline = 30;
    int m_discNameSource = kMusicBrainzThenFreeDB;
    std::string m_musicBrainzServer = kDefaultMusicBrainzServer;
    std::string m_coverArtServer = kDefaultCoverArtServer;
    int m_parallelJobs = 0;

    std::string m_lastWMAOutFolder;
    std::string m_lastWMARecorderFolder;
    int m_lastRecWMAProfileIndex = 0;
    int m_lastWMVProfileIndex = 0;
    int m_lastWMAProfileIndex = 0;
    std::string m_lastWAVInFolder;
    std::string m_lastWAVOutFolder;
    std::string m_lastMP3OutFolder;
    std::string m_lastVideoInFolder;
    int m_lastMP3Bitrate = 0;
    int m_mp3BitrateType = 0;
    int m_vbrMethod = 2;
    int m_vbrQuality = 0;
    int m_mp3Quality = 1;
    int m_audioChannels = 4;
    int m_meanVBRBitrate = 128;
    int m_maxVBRBitrate = 192;
    int m_materialPrivate = 0;
    int m_materialCopyrighted = 0;
    int m_materialOriginal = 0;
    int m_materialCRC = 0;
    int m_mp3Id3v2Tag = 1;
    int m_mp3ReplayGain = 0;
    int m_embedCover = 1;

    int m_wmfRedist = 0;
};
