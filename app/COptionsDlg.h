#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class SettingsRecord;
struct JobContext;

// The installed user-interface languages as the options dialog lists them.
struct LanguageChoice {
    QStringList names; // display names, in list order; entry 0 is the built-in language
    int current = 0;
    // Stores the choice for the next start.
    std::function<void(int index)> select;
};

// The program-wide options: the FreeDB server (typed as "host", "host:port" or an http
// address, or picked from the server list), the HTTP proxy, the e-mail address servers
// see, the MusicBrainz, cover and AccurateRip servers, the read offset of each CD drive,
// and the user-interface language.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 176;
    static constexpr int kFreeDBServer = 1139;
    static constexpr int kBrowseServers = 1081;
    static constexpr int kUseProxy = 1140;
    static constexpr int kProxyServer = 1141;
    static constexpr int kProxyPort = 1142;
    static constexpr int kLanguage = 1150;
    // The e-mail address today's CDDB servers want as the client's identity.
    static constexpr int kFreeDBEmail = 1151;
    // The read offset of the drive picked in the drive list, and its detection with a
    // known disc in that drive.
    static constexpr int kReadOffset = 2620;
    static constexpr int kDetectOffset = 2621;
    static constexpr int kOffsetDrive = 2622;
    // Whether rips are checked against the AccurateRip database, and its server.
    static constexpr int kAccurateRipLookup = 2623;
    static constexpr int kAccurateRipServer = 2624;
    // Where "Get CD Info" asks (MusicBrainz then FreeDB, MusicBrainz only, FreeDB only), the
    // MusicBrainz server and the cover server.
    static constexpr int kNameSource = 2530;
    static constexpr int kMusicBrainzServer = 2531;
    static constexpr int kCoverArtServer = 2532;
    // How many files a batch converts at once (0: one per processor core).
    static constexpr int kParallelJobs = 2860;

    // Starts from the settings. `serverListHost` is the server asked for the server list
    // (empty: the one in the FreeDB server field).
    COptionsDlg(SettingsRecord& settings, LanguageChoice languages, QWidget* parent = nullptr,
                std::string serverListHost = {});

    // The values after OK.
    const std::string& freeDBServer() const { return m_freeDBServer; }
    int useProxy() const { return m_useProxy; }
    const std::string& proxyServer() const { return m_proxyServer; }
    int proxyPort() const { return m_proxyPort; }
    const std::string& freeDBEmail() const { return m_freeDBEmail; }
    int discNameSource() const { return m_discNameSource; }
    const std::string& musicBrainzServer() const { return m_musicBrainzServer; }
    const std::string& coverArtServer() const { return m_coverArtServer; }
    int parallelJobs() const { return m_parallelJobs; }
    bool accurateRipLookup() const { return m_accurateRipLookup; }
    // Empty: the public database.
    const std::string& accurateRipServer() const { return m_accurateRipServer; }

    // One CD drive as the read offset box lists it: its vendor and product text, and its
    // offset (the stored one at first, the one entered after OK).
    struct DriveOffset {
        std::string drive;
        int offset = 0;
    };
    // Adds the read offset box: a list of the drives, in the ripper's order, with `chosen`
    // picked, and the offset of the picked drive. `detect` runs the detection with a known
    // disc in drive `index`: it returns true with the offset and its confidence, or false
    // with why.
    using OffsetDetector =
        std::function<bool(int index, int& offset, int& confidence, std::string& why)>;
    void addReadOffsets(std::vector<DriveOffset> drives, int chosen, OffsetDetector detect);
    bool hasReadOffset() const { return m_readOffsetEdit != nullptr; }
    const std::vector<DriveOffset>& readOffsets() const { return m_readOffsets; }

    // The built-in language only, until language libraries are installed.
    static LanguageChoice builtinLanguages();

public slots:
    void accept() override;

private:
    void proxyToggled(bool on);
    void browseServers();
    void languageChanged(int index);
    void offsetDriveChanged(int index);

    SettingsRecord& m_settings;
    LanguageChoice m_languages;
    std::string m_serverListHost;
    std::string m_freeDBServer;
    int m_useProxy = 0;
    std::string m_proxyServer;
    int m_proxyPort = 8080;
    std::string m_freeDBEmail;
    int m_discNameSource = 0;
    std::string m_musicBrainzServer;
    std::string m_coverArtServer;
    int m_parallelJobs = 0;
    bool m_accurateRipLookup = true;
    std::string m_accurateRipServer;

    QLineEdit* m_server;
    QCheckBox* m_proxy;
    QLineEdit* m_proxyHost;
    QLineEdit* m_port;
    QLineEdit* m_email;
    QComboBox* m_language;

    void detectOffset();
    std::vector<DriveOffset> m_readOffsets;
    // The text typed for each drive, kept while another drive is picked.
    QStringList m_offsetTexts;
    int m_shownDrive = -1;
    OffsetDetector m_detect;
    QComboBox* m_offsetDrive = nullptr;
    QLineEdit* m_readOffsetEdit = nullptr;
    QComboBox* m_nameSource;
    QLineEdit* m_mbServer;
    QLineEdit* m_coverServer;
    QSpinBox* m_parallel;
    QCheckBox* m_arLookup;
    QLineEdit* m_arServer;
};

// The drive the read offset box starts with: the one the grabber used last (`lastCD`, as
// the grabber matches it), else `fallback` when it names a drive, else the first.
int initialOffsetDrive(const std::vector<std::string>& drives, const std::string& lastCD,
                       int fallback);

// The launcher's "&Options" command: the dialog, then, unless it was cancelled, the four
// values written to the settings in the order "FreeDBServer", "ProxyServer", "UseProxy",
// "ProxyPort", then the e-mail identity when it changed, then the MusicBrainz choices when
// they changed, then the AccurateRip choices when they changed, then the read offset of
// every drive whose offset changed (keyed by its vendor and product text).
void runOptionsCommand(JobContext& context, QWidget* launcher,
                       LanguageChoice languages = COptionsDlg::builtinLanguages());
