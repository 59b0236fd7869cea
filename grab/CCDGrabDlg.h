#pragma once

#include "GrabFormats.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AudioTags;
class CEditableListCtrl;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct JobContext;
namespace cld::mb {
class MusicBrainzClient;
}

// The CD grabber: pick a drive, see and name the disc's tracks (from CD-TEXT, the cache
// or FreeDB), choose the error correction, and either grab the ticked tracks to WAV
// files at once or confirm the selection that an encoding job then reads.
class CCDGrabDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 144;
    static constexpr int kDrive = 1066;
    static constexpr int kRefresh = 1081;
    static constexpr int kErrorCorrection = 1008;
    static constexpr int kTrackList = 1063;
    static constexpr int kArtist = 1074;
    static constexpr int kAlbum = 1079;
    static constexpr int kGenre = 1075;
    static constexpr int kYear = 1080;
    static constexpr int kComment = 1082;
    static constexpr int kSetInfoToAll = 1077;
    static constexpr int kSelectAll = 1073;
    static constexpr int kGetCdInfo = 1138;
    static constexpr int kPlay = 1013;
    static constexpr int kStop = 1014;
    static constexpr int kIntroOnly = 1145;
    static constexpr int kIntroSeconds = 1146;
    static constexpr int kIntroSpin = 1147;
    static constexpr int kGrabNow = 1069;
    static constexpr int kTotalTracks = 1070;
    static constexpr int kTotalTime = 1071;
    static constexpr int kTotalSize = 1072;
    // The one-line status of a MusicBrainz look-up and the release's cover, small, beside
    // the album fields.
    static constexpr int kLookupStatus = 2540;
    static constexpr int kCover = 2541;
    // What the grabber saves tracks as: every encoder of the engine (shown only when it
    // grabs itself), and the button for the chosen encoder's settings.
    static constexpr int kSaveAs = 2700;
    static constexpr int kEncoderSettings = 2703;

    // wavTarget: opened for grabbing to WAV (OK grabs); otherwise for an encoding job (OK
    // only keeps the selection in the job context).
    CCDGrabDlg(JobContext& context, bool wavTarget, QWidget* parent = nullptr);
    ~CCDGrabDlg() override;

    // Reads the disc in the active drive and lists its tracks.
    void loadDisc();
    // Grabs the ticked tracks to WAV or FLAC files, as "Save as" says (the "Grab Now!"
    // button).
    void grabToWav();
    // Fills the fields and rows from MusicBrainz and/or FreeDB, as the options say (the
    // "Get CD Info" button).
    void getCdInfo();
    // Writes artist and genre into every row (the "Set Current Info to all Tracks." button).
    void setInfoToAllTracks();

    std::uint32_t discId() const { return m_discId; }
    std::uint32_t discSeconds() const { return m_discSeconds; }
    CEditableListCtrl* trackList() const { return m_list; }
    // The genre number of the genre box's selection (-1 when nothing is selected).
    int genreNumber() const;
    // The cover of the release taken from MusicBrainz (JPEG or PNG bytes; empty when none).
    const std::string& coverImage() const { return m_coverImage; }
    // The MusicBrainz disc id of the disc in the drive (empty before a look-up).
    const std::string& musicBrainzDiscId() const { return m_mbDiscId; }

public slots:
    void accept() override;
    // While a MusicBrainz look-up runs: cancels it (the window stays open).
    void reject() override;

private:
    void fillDrives();
    void driveChanged(int index);
    void errorCorrectionChanged(int index);
    void selectGenrePrefix(const std::string& text);
    void sizeColumns();
    void updateTotals();
    void toggleSelectAll();
    void trackEdited(int row, int column, const QString& text);
    void play();
    void stop();
    int introSeconds() const;
    // The tags of the track in `row`, for a FLAC file.
    AudioTags trackTags(int row) const;
    // Asks MusicBrainz; true when its names were taken (or the user declined its choice),
    // false when FreeDB may be asked next.
    bool musicBrainzInfo();
    void setMusicBrainzBusy(bool busy);
    void showCover();
    // The registry name of the format "Save as" shows.
    std::string chosenEncoder() const;
    void formatChanged();
    // Shows the chosen encoder's settings and keeps them on OK (the settings button).
    void editEncoderSettings();

    JobContext& m_context;
    bool m_wavTarget;
    std::uint32_t m_discId = 0;
    std::uint32_t m_discSeconds = 0;
    bool m_selectAllNext = true;
    bool m_loading = false;

    QComboBox* m_drive;
    QComboBox* m_errorCorrection;
    QComboBox* m_saveAs;
    QPushButton* m_encoderSettings;
    std::vector<cld::GrabFormat> m_formats;
    CEditableListCtrl* m_list;
    QLineEdit* m_artist;
    QLineEdit* m_album;
    QComboBox* m_genre;
    QLineEdit* m_year;
    QLineEdit* m_comment;
    QPushButton* m_selectAll;
    QCheckBox* m_introOnly;
    QLineEdit* m_introSeconds;
    QSpinBox* m_introSpin;
    QLabel* m_totalTracks;
    QLabel* m_totalTime;
    QLabel* m_totalSize;
    QLabel* m_lookupStatus;
    QLabel* m_cover;
    std::unique_ptr<cld::mb::MusicBrainzClient> m_mb;
    bool m_mbBusy = false;
    std::string m_mbDiscId;
    std::string m_coverImage;
    // What a running look-up disabled, to be enabled again when it ends.
    std::vector<QWidget*> m_lookupDisabled;
    // The disc's table of contents as the ripper reports it: each track's first sector and
    // the last sector of the last track.
    std::vector<std::int32_t> m_firstSectors;
    std::int32_t m_lastSector = 0;
};
