// The CD grabber and its reading progress window on the virtual drive.

#include "AppResources.h"
#include "BuiltinResources.h"
#include "CCDGrabDlg.h"
#include "CEditableListCtrl.h"
#include "CEncoderSettingsDlg.h"
#include "CProgressBar.h"
#include "CReadingProgressDlg.h"
#include "GrabCommands.h"
#include "GrabDialogKit.h"
#include "GrabReport.h"
#include "GrabRun.h"
#include "GrabText.h"
#include "JobCommands.h"
#include "JobRegistry.h"
#include "LanguageResources.h"
#include "Processes.h"
#include "ProgramResources.h"
#include "StringIds.h"
#include "TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QThread>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace cldtest;
using cld::findControl;
using vdrivekit::Content;
using vdrivekit::DiscSpec;
using vdrivekit::TrackSpec;

namespace {

DiscSpec cdTextDisc() {
    DiscSpec disc;
    disc.title = "Night Drive";
    disc.performer = "The Examples";
    disc.tracks.push_back({Content::Music, 75 * 4, "Opening", "The Examples", 0, 0});
    disc.tracks.push_back({Content::Music, 75 * 3, "Motorway", "The Examples", 0, 0});
    return disc;
}

DiscSpec plainDisc(int tracks = 3, int64_t sectors = 75 * 3) {
    DiscSpec disc;
    for (int i = 0; i < tracks; ++i)
        disc.tracks.push_back({Content::Music, sectors + i * 40, {}, {}, 0, 0});
    return disc;
}

QString cell(const CCDGrabDlg& dlg, int row, int column) {
    return dlg.trackList()->cellText(row, column);
}

QString fieldText(const QWidget& dlg, int id) {
    return findControl<QLineEdit>(&dlg, id)->text();
}

void click(const QWidget& dlg, int id) {
    findControl<QPushButton>(&dlg, id)->click();
}

// Types a name into a row, as the in-place editor commits it.
void typeName(CCDGrabDlg& dlg, int row, const QString& name) {
    dlg.trackList()->topLevelItem(row)->setText(0, name);
}

} // namespace

class GrabDialog : public GrabDialogTest {};

TEST_F(GrabDialog, CdTextDiscListsItsTitlesAndArtist) {
    startDrives({cdTextDisc()});
    CCDGrabDlg dlg(m_context, true);
    EXPECT_EQ(dlg.objectName(), QStringLiteral("144"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Calderine 2002 - CD-Audio Grabber"));
    CEditableListCtrl* list = findControl<CEditableListCtrl>(&dlg, CCDGrabDlg::kTrackList);
    ASSERT_EQ(list, dlg.trackList());
    const QStringList headers{"Track Name",   "Track No.",     "  Length  ",
                              "    Size    ", " Artist Name ", "Music Genre"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(list->headerItem()->text(c), headers[c]);
    EXPECT_NEAR(list->columnWidth(0),
                4.5 * (list->header()->fontMetrics().horizontalAdvance(headers[0]) + 16), 1.0);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(cell(dlg, 0, 0), "Opening");
    EXPECT_EQ(cell(dlg, 1, 0), "Motorway");
    EXPECT_EQ(cell(dlg, 0, 1), "01");
    EXPECT_EQ(cell(dlg, 1, 1), "02");
    EXPECT_EQ(cell(dlg, 0, 2), "0:04");
    EXPECT_EQ(cell(dlg, 0, 4), "The Examples");
    EXPECT_EQ(cell(dlg, 0, 5), "Other");
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kArtist), "The Examples");
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kAlbum), "Night Drive");
    // No year is proposed for a disc nothing says the year of.
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kYear), "");
    EXPECT_EQ(findControl<QComboBox>(&dlg, CCDGrabDlg::kGenre)->currentText(), "Other");
    EXPECT_NE(dlg.discId(), 0u);
    // Nothing ticked: the select-all button offers to select.
    EXPECT_EQ(findControl<QPushButton>(&dlg, CCDGrabDlg::kSelectAll)->text(), "Select &All Tracks");
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalTracks)->text(), "0 Track(s) ");
}

TEST_F(GrabDialog, DiscWithoutCdTextListsTrackNumbersAndUnknown) {
    startDrives({plainDisc()});
    CCDGrabDlg dlg(m_context, true);
    ASSERT_EQ(dlg.trackList()->rowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cell(dlg, i, 0), QStringLiteral("Track%1").arg(i + 1, 2, 10, QChar('0')));
        EXPECT_EQ(cell(dlg, i, 4), "Unknown");
    }
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kArtist), "Unknown");
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kAlbum), "Unknown");
    // The kept arrays describe the same tracks for the jobs and the FreeDB query.
    EXPECT_EQ(m_context.grabSelection.startTimes.size(), 3u);
    EXPECT_EQ(m_context.grabSelection.startTimes[0], "0:00.00");
}

// Under another language the stand-in for names the disc does not give is shown in that
// language, while what the grabber keeps (the jobs' selection, the cache) is the program's
// own "Unknown", as it is under English.
TEST_F(GrabDialog, UnknownNamesAreShownInTheLanguageAndKeptAsTheProgramWritesThem) {
    void* german = dlopen(LANG_GERMAN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(german, nullptr) << dlerror();
    const auto unload = qScopeGuard([german] { dlclose(german); });
    AppResources::setSource(std::make_unique<cld::LanguageResources>(
        german, std::make_unique<BuiltinResources>(&cldProgramResource, nullptr)));
    startDrives({plainDisc(2)});
    openCache();
    std::uint32_t id = 0;
    {
        CCDGrabDlg dlg(m_context, false);
        id = dlg.discId();
        EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kArtist), "Unbekannt");
        EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kAlbum), "Unbekannt");
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(cell(dlg, i, 4), "Unbekannt");
        EXPECT_EQ(m_context.grabSelection.artist, "Unknown");
        EXPECT_EQ(m_context.grabSelection.album, "Unknown");
        dlg.trackList()->setChecked(0, true);
        click(dlg, 1);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(m_context.grabSelection.artist, "Unknown");
    EXPECT_EQ(m_context.grabSelection.album, "Unknown");
    const auto stored = m_cache.load(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->artist, "Unknown");
    EXPECT_EQ(stored->album, "Unknown");
    // Read back from the cache, the stand-in is shown in the language again; a name the
    // user typed is kept as typed.
    CCDGrabDlg again(m_context, false);
    EXPECT_EQ(fieldText(again, CCDGrabDlg::kArtist), "Unbekannt");
    EXPECT_EQ(cell(again, 1, 4), "Unbekannt");
    findControl<QLineEdit>(&again, CCDGrabDlg::kAlbum)->setText(QStringLiteral("Live"));
    again.trackList()->setChecked(1, true);
    click(again, 1);
    EXPECT_EQ(m_context.grabSelection.artist, "Unknown");
    EXPECT_EQ(m_context.grabSelection.album, "Live");
}

TEST_F(GrabDialog, CacheHitFillsFieldsAndNamesAndOkStoresThem) {
    startDrives({plainDisc(2)});
    openCache();
    std::uint32_t id = 0;
    {
        CCDGrabDlg first(m_context, false);
        id = first.discId();
    }
    CdInfoRecord record;
    record.discId = id;
    record.album = "Caf\xC3\xA9 Songs";
    record.artist = "Don't Panic";
    record.genre = "alt"; // the first entry beginning with it: "Alternative"
    record.year = 1994;
    record.trackTitles = {"First", "Second", "Third (no such track)"};
    ASSERT_TRUE(m_cache.store(record)) << m_cache.lastError();

    CCDGrabDlg dlg(m_context, false);
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kArtist), "Don't Panic");
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kAlbum), QString::fromUtf8("Caf\xC3\xA9 Songs"));
    EXPECT_EQ(fieldText(dlg, CCDGrabDlg::kYear), "1994");
    EXPECT_EQ(findControl<QComboBox>(&dlg, CCDGrabDlg::kGenre)->currentText(), "Alternative");
    EXPECT_EQ(dlg.genreNumber(), 20);
    ASSERT_EQ(dlg.trackList()->rowCount(), 2);
    EXPECT_EQ(cell(dlg, 0, 0), "First");
    EXPECT_EQ(cell(dlg, 1, 0), "Second");
    EXPECT_EQ(cell(dlg, 1, 4), "Don't Panic");
    EXPECT_EQ(cell(dlg, 1, 5), "Alternative");

    // OK keeps what the dialog shows in the cache, typed names as typed.
    typeName(dlg, 1, "AC/DC: Live?");
    dlg.trackList()->setChecked(1, true);
    click(dlg, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const auto stored = m_cache.load(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->genre, "Alternative");
    EXPECT_EQ(stored->year, 1994);
    EXPECT_EQ(stored->trackTitles, (std::vector<std::string>{"First", "AC/DC: Live?"}));
}

TEST_F(GrabDialog, TotalsFollowTheTickedTracks) {
    startDrives({plainDisc(3, 75 * 70)});
    CCDGrabDlg dlg(m_context, false);
    ASSERT_EQ(dlg.trackList()->rowCount(), 3);
    // The figures the ripper gives for each track.
    std::vector<std::uint32_t> seconds, kb;
    DiscInfo* disc = m_rip->GetDiscInfo();
    for (int i = 0; i < 3; ++i) {
        TrackInfo* t = disc->GetTrack(i);
        seconds.push_back(t->GetDurationSeconds());
        kb.push_back(t->GetSizeKB());
        t->Destroy();
    }
    disc->Destroy();
    dlg.trackList()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    dlg.trackList()->topLevelItem(2)->setCheckState(0, Qt::Checked);
    const cld::TotalsTexts want = cld::totalsTexts({2, seconds[0] + seconds[2], kb[0] + kb[2]});
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalTracks)->text(), "2 Track(s) ");
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalSize)->text().toStdString(), want.size);
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalTime)->text().toStdString(),
              want.duration);
    EXPECT_EQ(want.duration, "00:02:21 "); // 70 s + 71 s (the third track is 80 sectors longer)

    // Select all, then deselect all, with the button's text following.
    QPushButton* all = findControl<QPushButton>(&dlg, CCDGrabDlg::kSelectAll);
    all->click();
    EXPECT_EQ(dlg.trackList()->checkedRows().size(), 3);
    EXPECT_EQ(all->text(), "Deselect &All Tracks");
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalTracks)->text(), "3 Track(s) ");
    all->click();
    EXPECT_TRUE(dlg.trackList()->checkedRows().isEmpty());
    EXPECT_EQ(all->text(), "Select &All Tracks");
    EXPECT_EQ(findControl<QLabel>(&dlg, CCDGrabDlg::kTotalTime)->text(), "00:00:00 ");
}

TEST_F(GrabDialog, OkForAnEncodingJobKeepsCleanNamesAndTheChoices) {
    startDrives({plainDisc(3)});
    CCDGrabDlg dlg(m_context, false);
    // Nothing ticked: 122 and the dialog stays.
    click(dlg, 1);
    EXPECT_EQ(messageIds(), std::vector<int>{122});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    EXPECT_NE(dlg.result(), QDialog::Accepted);

    typeName(dlg, 0, "AC/DC: Live?");
    // A name longer than 50 characters is refused; 50 are fine.
    typeName(dlg, 1, QString(51, 'x'));
    EXPECT_EQ(cell(dlg, 1, 0), "Track02");
    typeName(dlg, 1, QString(50, 'y'));
    EXPECT_EQ(cell(dlg, 1, 0), QString(50, 'y'));
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(2, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->setText("Band");
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->setText("Record");
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kYear)->setText("1999");
    QComboBox* genre = findControl<QComboBox>(&dlg, CCDGrabDlg::kGenre);
    genre->setCurrentIndex(genre->findText("Acapella"));
    findControl<QCheckBox>(&dlg, CCDGrabDlg::kIntroOnly)->setChecked(true);
    EXPECT_TRUE(findControl<QLineEdit>(&dlg, CCDGrabDlg::kIntroSeconds)->isEnabled());
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kIntroSeconds)->setText("0");
    click(dlg, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    const cld::engine::DiscSelection& s = m_context.grabSelection;
    // The names go to the jobs as typed: the tags carry them so, and each file name is made
    // of them by the one file-name rule when it is written.
    EXPECT_EQ(s.trackNames,
              (std::vector<std::string>{"AC/DC: Live?", std::string(50, 'y'), "Track03"}));
    EXPECT_EQ(s.ticked, (std::vector<uint16_t>{0, 2}));
    EXPECT_EQ(s.artist, "Band");
    EXPECT_EQ(s.album, "Record");
    EXPECT_EQ(s.year, 1999);
    EXPECT_EQ(s.genreIndex, 123); // by its number, not its place in the sorted box
    EXPECT_TRUE(s.introOnly);
    EXPECT_EQ(s.introSeconds, 15); // 0 means the default
    EXPECT_EQ(s.durationSeconds.size(), 3u);
    // Nothing was grabbed in this mode.
    EXPECT_TRUE(m_folderTitle.isEmpty());
}

TEST_F(GrabDialog, ErrorCorrectionIsStoredAndApplied) {
    startDrives({plainDisc(1)});
    ASSERT_TRUE(m_settings.setErrorCorrection(0));
    CCDGrabDlg dlg(m_context, true);
    QComboBox* box = findControl<QComboBox>(&dlg, CCDGrabDlg::kErrorCorrection);
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(2), "Jitter and Scratch Repair (slower)");
    // What the box shows is what the drive uses.
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(driveParams().jitterCorrection, 0);
    EXPECT_EQ(driveParams().rippingMethod, 0);
    box->setCurrentIndex(2);
    EXPECT_EQ(m_settings.errorCorrection(), 2);
    EXPECT_EQ(driveParams().rippingMethod, 1);
    EXPECT_EQ(driveParams().paranoiaLevel, 3);
    EXPECT_EQ(m_context.grabSelection.errorCorrectionType, 5);
    box->setCurrentIndex(1);
    EXPECT_EQ(driveParams().rippingMethod, 0);
    EXPECT_EQ(driveParams().jitterCorrection, 1);
    // Stored in the profile, not just in memory.
    SettingsRecord reread;
    reread.LoadSettings();
    EXPECT_EQ(reread.errorCorrection(), 1);
}

TEST_F(GrabDialog, DriveChoiceFollowsLastCdAndIsStored) {
    DiscSpec a = plainDisc(1);
    a.product = "ALPHA DRIVE";
    DiscSpec b = plainDisc(2);
    b.product = "BETA DRIVE";
    startDrives({a, b});
    CCDGrabDlg probe(m_context, true);
    QComboBox* drives = findControl<QComboBox>(&probe, CCDGrabDlg::kDrive);
    ASSERT_EQ(drives->count(), 2);
    const QString second = drives->itemText(1);
    ASSERT_FALSE(second.isEmpty());

    // A stored name matches by its beginning, without regard to case.
    ASSERT_TRUE(m_settings.setLastCD(second.left(second.size() - 2).toLower().toStdString()));
    CCDGrabDlg dlg(m_context, true);
    EXPECT_EQ(findControl<QComboBox>(&dlg, CCDGrabDlg::kDrive)->currentIndex(), 1);
    EXPECT_EQ(dlg.trackList()->rowCount(), 2);
    findControl<QComboBox>(&dlg, CCDGrabDlg::kDrive)->setCurrentIndex(0);
    EXPECT_EQ(dlg.trackList()->rowCount(), 1);
    EXPECT_EQ(m_settings.lastCD(), drives->itemText(0).toStdString());
}

TEST_F(GrabDialog, GrabToWavWritesBitExactFilesInTheUnknownFolder) {
    startDrives({plainDisc(3)});
    const auto ranges = trackRanges();
    m_folderAnswer = QString::fromStdString((m_dir.path()).string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->clear();
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->clear();
    typeName(dlg, 2, "Side/B: \"Live\"");
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(2, true);
    // The grabber's window is disabled while the progress window is up.
    bool ownerDisabled = false;
    bool progressShown = false;
    m_waitHook = [&](int) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "149" && w->isVisible()) {
                progressShown = true;
                ownerDisabled = ownerDisabled || !dlg.isEnabled();
            }
        }
    };
    click(dlg, CCDGrabDlg::kGrabNow);
    EXPECT_EQ(m_folderTitle, "Select a Folder where to Save the WAV file(s)...");
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(dlg.isEnabled());
    // Saved, with where the rip log is (two tracks of three: no AccurateRip look-up).
    ASSERT_EQ(messageIds(), std::vector<int>{2609});

    const auto folder = m_dir.path() / "Unknown Artist - Unkown Album";
    EXPECT_TRUE(std::filesystem::exists(folder / "Unknown Artist - Unknown Album.log"));
    EXPECT_TRUE(std::filesystem::exists(folder / "Unknown Artist - Unknown Album.cue"));
    const Wav one = readWav(folder / "Track01.wav");
    expectConsistentHeader(one);
    EXPECT_TRUE(one.data == imageBytes(ranges[0].first, ranges[0].last));
    // Typed names are made file names by the one rule: never a sub-folder, nothing other
    // systems refuse.
    const Wav three = readWav(folder / "Side-B. 'Live'.wav");
    expectConsistentHeader(three);
    EXPECT_TRUE(three.data == imageBytes(ranges[2].first, ranges[2].last));
    EXPECT_FALSE(std::filesystem::exists(folder / "Track02.wav"));
}

TEST_F(GrabDialog, OkWithTheWavTargetGrabsWithArtistNamesAndIntroLength) {
    startDrives({plainDisc(1, 75 * 40)});
    const auto ranges = trackRanges();
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->setText("Band");
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->setText("Live");
    dlg.trackList()->setChecked(0, true);
    findControl<QCheckBox>(&dlg, CCDGrabDlg::kIntroOnly)->setChecked(true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kIntroSeconds)->setText("3");
    click(dlg, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(messageIds(), std::vector<int>{127});
    const Wav w = readWav(m_dir.path() / "Band - Live" / "Band - Track01.wav");
    expectConsistentHeader(w);
    // Three seconds of a 40 s track: the typed length is used, not a fixed one.
    const long rate = (ranges[0].last - ranges[0].first) / 40;
    EXPECT_TRUE(w.data == imageBytes(ranges[0].first, ranges[0].first + 3 * rate));
}

TEST_F(GrabDialog, BadFoldersAndFailedGrabsSaySo) {
    startDrives({plainDisc(1)});
    CCDGrabDlg dlg(m_context, true);
    dlg.trackList()->setChecked(0, true);
    // Cancelled picker: nothing happens.
    m_folderAnswer.clear();
    click(dlg, CCDGrabDlg::kGrabNow);
    EXPECT_TRUE(messages().empty());
    // A path that is no folder.
    m_folderAnswer = QString::fromStdString((m_dir.path() / "missing").string());
    click(dlg, CCDGrabDlg::kGrabNow);
    EXPECT_EQ(messageIds(), std::vector<int>{124});
    // The album folder cannot be made (a file has its name).
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    std::ofstream(m_dir.path() / "Unknown - Unknown") << "x";
    click(dlg, CCDGrabDlg::kGrabNow);
    EXPECT_EQ(messageIds(), (std::vector<int>{124, cld::IDS_GRAB_FOLDER_FAILED}));
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);

    // A grab the ripper reports as failed (the file name does not fit) is no success.
    std::filesystem::path deep = m_dir.path();
    while (deep.string().size() < 225)
        deep /= "deeper";
    std::filesystem::create_directories(deep);
    m_folderAnswer = QString::fromStdString(deep.string());
    typeName(dlg, 0, QString(40, 'n'));
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_EQ(messages().size(), 3u);
    EXPECT_EQ(messages().back().stringId, cld::IDS_GRAB_STOPPED);
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    EXPECT_TRUE(messages().back().text.contains(QString(40, 'n') + ": failed"));
    EXPECT_TRUE(dlg.isEnabled());
}

// A track whose file name the ripper refuses is left out and named with the reason; the
// other tracks are still read, before and after it.
TEST_F(GrabDialog, ARefusedTrackIsNamedAndTheOthersAreRead) {
    startDrives({plainDisc(2)});
    const auto ranges = trackRanges();
    std::filesystem::path deep = m_dir.path();
    while (deep.string().size() < 200)
        deep /= "deeper";
    std::filesystem::create_directories(deep);
    m_folderAnswer = QString::fromStdString(deep.string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->clear();
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->clear();
    typeName(dlg, 0, QString(50, 'n'));
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(1, true);
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_EQ(messageIds(), std::vector<int>{cld::IDS_GRAB_STOPPED});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    const QString text = messages().back().text;
    EXPECT_TRUE(text.contains("file name was refused")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString(50, 'n') + ": failed, no file was written"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("Track02")) << text.toStdString();
    const auto folder = deep / "Unknown Artist - Unkown Album";
    const Wav two = readWav(folder / "Track02.wav");
    expectConsistentHeader(two);
    EXPECT_TRUE(two.data == imageBytes(ranges[1].first, ranges[1].last));

    // The refusal is not left behind for the next grab: track 2 alone is read cleanly.
    std::filesystem::remove_all(folder);
    dlg.trackList()->setChecked(0, false);
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages().back().stringId, 2609);
}

TEST_F(GrabDialog, TracksTheRipperCouldNotVerifyAreNamedAtTheEnd) {
    // The first of two tracks has sectors that read differently every time.
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.scratched = {{80, 82}};
    startDrives({disc});
    const auto ranges = trackRanges();
    ASSERT_TRUE(m_settings.setErrorCorrection(2));
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->clear();
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->clear();
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(1, true);
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages().back().stringId, cld::IDS_GRAB_NOT_EXACT);
    EXPECT_EQ(messages().back().icon, MessageIcon::Exclamation);
    EXPECT_TRUE(messages().back().text.contains(QStringLiteral("Track01: ")))
        << messages().back().text.toStdString();
    EXPECT_FALSE(messages().back().text.contains(QStringLiteral("Track02")))
        << messages().back().text.toStdString();
    // Both files are there; the good track is exact.
    const auto folder = m_dir.path() / "Unknown Artist - Unkown Album";
    EXPECT_TRUE(std::filesystem::exists(folder / "Track01.wav"));
    EXPECT_TRUE(readWav(folder / "Track02.wav").data ==
                imageBytes(ranges[1].first, ranges[1].last));
}

TEST_F(GrabDialog, AbortShowsTheMessageAndLeavesAConsistentWav) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 3000, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = 300;
    startDrives({disc});
    const auto ranges = trackRanges();
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->clear();
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->clear();
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(1, true);
    const auto file = m_dir.path() / "Unknown Artist - Unkown Album" / "Track01.wav";
    bool pressed = false;
    m_waitHook = [&](int) {
        if (pressed)
            return;
        // Abort once the window shows a tenth of the first track read.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "149" && w->isVisible() &&
                findControl<CProgressBar>(w, CReadingProgressDlg::kTrackBar)->pos() > 10) {
                findControl<QPushButton>(w, CReadingProgressDlg::kAbort)->click();
                pressed = true;
            }
        }
    };
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_TRUE(pressed);
    ASSERT_EQ(messageIds(), std::vector<int>{126});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    const Wav w = readWav(file);
    expectConsistentHeader(w);
    EXPECT_GT(w.data.size(), 0u);
    EXPECT_LT(w.data.size(), 3000u * 2352);
    const auto expect = imageBytes(ranges[0].first, ranges[0].last);
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), expect.begin()));
    EXPECT_FALSE(std::filesystem::exists(file.parent_path() / "Track02.wav"));
    EXPECT_TRUE(dlg.isEnabled());
    // The log says how the rip ended and that the file holds part of the track.
    std::ifstream in(file.parent_path() / "Unknown Artist - Unknown Album.log");
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_NE(log.str().find("aborted by the user"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("Track01.wav"), std::string::npos) << log.str();
}

TEST_F(GrabDialog, GetCdInfoWithoutTracksAsksForADisc) {
    DiscSpec data;
    data.tracks.push_back({Content::Data, 300, {}, {}, 0, 0});
    startDrives({data});
    CCDGrabDlg dlg(m_context, false);
    EXPECT_EQ(dlg.trackList()->rowCount(), 0);
    click(dlg, CCDGrabDlg::kGetCdInfo);
    EXPECT_EQ(messageIds(), std::vector<int>{142});
    click(dlg, 1);
    EXPECT_EQ(messageIds(), (std::vector<int>{142, 122}));
}

TEST_F(GrabDialog, WithoutTheRipperTheCommandSaysSo) {
    runCdToWav(m_context, nullptr);
    EXPECT_EQ(messageIds(), std::vector<int>{152});
    EXPECT_FALSE(runCdGrabberForEncoding(m_context, nullptr));
}

TEST(ReadingProgress, AbortIsRememberedOnceAndTheOwnerComesBack) {
    ProgramResourcesScope resources;
    QWidget owner;
    owner.show();
    auto progress = std::make_unique<CReadingProgressDlg>();
    EXPECT_EQ(progress->windowTitle(), "Reading CD-Audio Data...");
    ASSERT_TRUE(progress->OpenProgress(&owner));
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(progress->isEnabled());
    QPushButton* abort = findControl<QPushButton>(progress.get(), CReadingProgressDlg::kAbort);
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(abort->text(), "&Abort");
    EXPECT_FALSE(progress->WasAborted());
    abort->click();
    abort->click();
    EXPECT_TRUE(progress->WasAborted());
    EXPECT_FALSE(progress->WasAborted());
    progress->SetTrackText("Reading Track Nr. 1, Name: x");
    EXPECT_EQ(findControl<QLabel>(progress.get(), CReadingProgressDlg::kTrackText)->text(),
              "Reading Track Nr. 1, Name: x");
    CProgressBar* overall = progress->bar(CReadingProgressDlg::kOverallBar);
    overall->setRange(0, 3);
    overall->setStep(1);
    overall->stepIt();
    EXPECT_EQ(overall->pos(), 1);
    // Destroying it while it is up gives the owner back.
    progress.reset();
    EXPECT_TRUE(owner.isEnabled());

    // An owner that was already disabled stays so.
    CReadingProgressDlg again;
    owner.setEnabled(false);
    ASSERT_TRUE(again.OpenProgress(&owner));
    again.CloseProgress();
    EXPECT_FALSE(owner.isEnabled());
    owner.setEnabled(true);
    ASSERT_TRUE(again.OpenProgress(&owner));
    EXPECT_FALSE(owner.isEnabled());
    again.CloseProgress();
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(again.isVisible());
}

TEST_F(GrabDialog, PlayStartsTheHotTrackAndStopStopsIt) {
    startDrives({plainDisc(3, 75 * 30)});
    CCDGrabDlg dlg(m_context, true);
    dlg.trackList()->setCurrentItem(dlg.trackList()->topLevelItem(1));
    click(dlg, CCDGrabDlg::kPlay);
    EXPECT_EQ(m_cdda->GetAudioStatus(), 0x11); // playing
    int32_t index = 0, track = 0, absolute = 0;
    m_cdda->GetSubChannelPosition(&index, &track, &absolute);
    EXPECT_EQ(track, 2);
    EXPECT_GE(absolute, static_cast<int32_t>(trackRanges()[1].first));
    click(dlg, CCDGrabDlg::kStop);
    EXPECT_NE(m_cdda->GetAudioStatus(), 0x11);
}

TEST_F(GrabDialog, LauncherCommandsOpenTheGrabberAndTheOptions) {
    startDrives({plainDisc(1)});
    JobCommands commands;
    registerJobs(commands);
    ASSERT_TRUE(commands.has(1005));
    ASSERT_TRUE(commands.has(57671));
    QString opened;
    whenModal([](QWidget*) { return true; },
              [&](QWidget* w) {
                  opened = w->objectName();
                  findControl<QPushButton>(w, 2)->click();
              });
    (*commands.find(1005))(m_context, nullptr);
    EXPECT_EQ(opened, "144");
    whenModal([](QWidget*) { return true; },
              [&](QWidget* w) {
                  opened = w->objectName();
                  findControl<QPushButton>(w, 2)->click();
              });
    (*commands.find(57671))(m_context, nullptr);
    EXPECT_EQ(opened, "176");
    EXPECT_TRUE(messages().empty());
}

namespace {

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Records every message and answers the question about taken names as told.
class TakenNamesAnswer : public MessageService {
public:
    explicit TakenNamesAnswer(MessageResult reply) : m_reply(reply) {}
    MessageResult show(const Message& message) override {
        shown.push_back(message);
        return message.stringId == cld::IDS_NAMES_TAKEN_ASK ? m_reply : MessageResult::Ok;
    }
    std::vector<Message> shown;

private:
    MessageResult m_reply;
};

} // namespace

// A grab into a folder that holds the user's files (tracks of the same names, the cover,
// the log, the cue sheet, a link and a pipe at the old temporary names) asks once; with
// "Keep both" every user file stays byte for byte and the new files get numbers, in WAV
// and in FLAC. Two tracks of one title and a title like the log's name each keep their
// audio.
TEST_F(GrabDialog, UserFilesBesideAGrabStayAsTheyAre) {
    namespace fs = std::filesystem;
    startDrives({plainDisc(3)});
    const auto ranges = trackRanges();
    const fs::path folder = m_dir.path() / "A - B";
    fs::create_directories(folder);
    const fs::path outside = m_dir.path() / "outside.txt";
    std::ofstream(outside) << "outside";
    const std::vector<std::string> mine{"A - Song.wav", "A - Song.flac", "folder.jpg", "A - B.log",
                                        "A - B.cue"};
    for (const std::string& name : mine)
        std::ofstream(folder / name) << "mine: " << name;
    fs::create_symlink(outside, folder / "A - B.log.part");
    ASSERT_EQ(::mkfifo((folder / "folder.jpg.part").c_str(), 0644), 0);

    auto answers = std::make_unique<TakenNamesAnswer>(MessageResult::No);
    TakenNamesAnswer* seen = answers.get();
    auto previous = MessageService::setInstance(std::move(answers));
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    for (int format : {0, 1}) {
        SCOPED_TRACE(format);
        seen->shown.clear();
        CCDGrabDlg dlg(m_context, true);
        findControl<QComboBox>(&dlg, CCDGrabDlg::kSaveAs)->setCurrentIndex(format);
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->setText("A");
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->setText("B");
        typeName(dlg, 0, "Song");
        typeName(dlg, 1, "Song");
        typeName(dlg, 2, "B.log");
        for (int i = 0; i < 3; ++i)
            dlg.trackList()->setChecked(i, true);
        click(dlg, CCDGrabDlg::kGrabNow);
        ASSERT_GE(seen->shown.size(), 2u);
        EXPECT_EQ(seen->shown[0].stringId, cld::IDS_NAMES_TAKEN_ASK);
        EXPECT_EQ(seen->shown.back().stringId, 2609) << seen->shown.back().text.toStdString();
    }
    MessageService::setInstance(std::move(previous));

    for (const std::string& name : mine)
        EXPECT_EQ(fileBytes(folder / name), "mine: " + name) << name;
    EXPECT_EQ(fileBytes(outside), "outside");
    EXPECT_TRUE(fs::is_symlink(folder / "A - B.log.part"));
    EXPECT_TRUE(fs::is_fifo(folder / "folder.jpg.part"));
    // WAV: the user's "A - Song.wav" made the first track "(2)", the second "(3)".
    EXPECT_TRUE(readWav(folder / "A - Song (2).wav").data ==
                imageBytes(ranges[0].first, ranges[0].last));
    EXPECT_TRUE(readWav(folder / "A - Song (3).wav").data ==
                imageBytes(ranges[1].first, ranges[1].last));
    EXPECT_TRUE(readWav(folder / "A - B.log.wav").data ==
                imageBytes(ranges[2].first, ranges[2].last));
    for (const char* flac : {"A - Song (2).flac", "A - Song (3).flac", "A - B.log.flac"})
        EXPECT_TRUE(fs::exists(folder / flac)) << flac;
    // Each grab wrote its own log and cue sheet beside the user's.
    EXPECT_NE(fileBytes(folder / "A - B (2).log").find("A - Song (3).wav"), std::string::npos);
    EXPECT_NE(fileBytes(folder / "A - B (3).cue").find("A - B.log.flac"), std::string::npos);
    for (const auto& e : fs::directory_iterator(folder))
        EXPECT_NE(e.path().filename().string().rfind(".cld", 0), 0u) << e.path();
}

// The settings box of an encoder: a field per described setting, with the kept value or
// the default, and the values as the fields show them on OK.
TEST_F(GrabDialog, EncoderSettingsShowTheKeptValuesAndGiveTheFieldsValues) {
    cld::GrabFormat format;
    format.name = "vorbis";
    format.displayName = "Ogg Vorbis";
    format.settings.push_back(
        {"quality", "Quality", cld::GrabSetting::Kind::Decimal, -1, 10, {}, "5"});
    format.settings.push_back(
        {"bitrate", "Bitrate", cld::GrabSetting::Kind::Whole, 32, 320, {}, "128"});
    format.settings.push_back(
        {"mode", "Mode", cld::GrabSetting::Kind::Choice, 0, 0, {"vbr", "cbr"}, "vbr"});
    format.settings.push_back({"cover", "Cover", cld::GrabSetting::Kind::Flag, 0, 1, {}, "1"});
    CEncoderSettingsDlg dlg(format, {{"bitrate", "999"}, {"mode", "cbr"}});
    EXPECT_EQ(dlg.objectName(), QString::number(CEncoderSettingsDlg::kDialogId));
    EXPECT_EQ(dlg.windowTitle(), "Ogg Vorbis Settings");
    const int first = CEncoderSettingsDlg::kFirstField;
    auto* quality = findControl<QDoubleSpinBox>(&dlg, first);
    auto* bitrate = findControl<QSpinBox>(&dlg, first + 1);
    auto* mode = findControl<QComboBox>(&dlg, first + 2);
    auto* cover = findControl<QCheckBox>(&dlg, first + 3);
    ASSERT_TRUE(quality && bitrate && mode && cover);
    EXPECT_DOUBLE_EQ(quality->value(), 5.0); // the default
    EXPECT_EQ(bitrate->value(), 320);        // a kept value beyond the range is held in it
    EXPECT_EQ(mode->currentText(), "cbr");   // the kept choice
    EXPECT_TRUE(cover->isChecked());
    quality->setValue(7.5);
    cover->setChecked(false);
    EXPECT_EQ(dlg.options(),
              (cld::engine::EncoderOptions{
                  {"quality", "7.50"}, {"bitrate", "320"}, {"mode", "cbr"}, {"cover", "0"}}));
}

// Abort in FLAC: the tracks read before are whole, the track being read leaves no file (a
// FLAC file is the whole track or nothing), and the message says the grab was aborted.
TEST_F(GrabDialog, AbortInFlacLeavesNoCutFile) {
    if (!haveTool("flac"))
        GTEST_SKIP() << "the flac command is needed";
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 150, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 3000, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = 300;
    startDrives({disc});
    m_folderAnswer = QString::fromStdString(m_dir.path().string());
    CCDGrabDlg dlg(m_context, true);
    findControl<QComboBox>(&dlg, CCDGrabDlg::kSaveAs)->setCurrentIndex(1);
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->clear();
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->clear();
    dlg.trackList()->setChecked(0, true);
    dlg.trackList()->setChecked(1, true);
    bool pressed = false;
    m_waitHook = [&](int) {
        if (pressed)
            return;
        // Abort once the window shows a tenth of the second track read.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "149" && w->isVisible() &&
                findControl<QLabel>(w, CReadingProgressDlg::kTrackText)
                    ->text()
                    .startsWith("Reading Track Nr. 2") &&
                findControl<CProgressBar>(w, CReadingProgressDlg::kTrackBar)->pos() > 10 &&
                findControl<CProgressBar>(w, CReadingProgressDlg::kTrackBar)->pos() < 90) {
                findControl<QPushButton>(w, CReadingProgressDlg::kAbort)->click();
                pressed = true;
            }
        }
    };
    click(dlg, CCDGrabDlg::kGrabNow);
    ASSERT_TRUE(pressed);
    ASSERT_EQ(messageIds(), std::vector<int>{126});
    const auto folder = m_dir.path() / "Unknown Artist - Unkown Album";
    int status = -1;
    commandOutput("flac -t -s '" + (folder / "Track01.flac").string() + "' 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "Track02.flac"));
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(e.path().filename().string().rfind(".cld", 0), std::string::npos) << e.path();
}

// The grab's thread reports to the window's thread only, and a question the job asks is
// answered there while the job waits.
TEST_F(GrabDialog, TheGrabsThreadReportsAndAsksOnTheWindowsThread) {
    startDrives({plainDisc(2)});
    const auto ranges = trackRanges();
    cld::engine::CdRipSpec setup;
    setup.tracks = {{0, "One"}, {1, "Two"}};
    setup.artist = "Band";
    setup.folder = m_dir.path().string();
    setup.verify = false;
    std::ofstream(m_dir.path() / "Band - Two.wav") << "mine";
    QThread* window = QCoreApplication::instance()->thread();
    for (cld::engine::Answer answer :
         {cld::engine::Answer::Cancel, cld::engine::Answer::KeepBoth}) {
        cld::engine::CdPipeline job(m_rip, setup, cld::engine::VerifyEnv{}, nullptr);
        cld::GrabRun run(job);
        int shown = 0;
        int asked = 0;
        bool elsewhere = false;
        run.onStatus = [&](const cld::GrabRunStatus&) {
            elsewhere = elsewhere || QThread::currentThread() != window;
            ++shown;
        };
        run.onQuestion = [&](const cld::engine::Question& q) {
            elsewhere = elsewhere || QThread::currentThread() != window;
            EXPECT_EQ(q.kind, cld::engine::QuestionKind::TakenNames);
            ++asked;
            return answer;
        };
        run.start();
        while (!run.done())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const cld::engine::JobEnd end = run.finish();
        QCoreApplication::processEvents();
        EXPECT_FALSE(elsewhere);
        EXPECT_EQ(asked, 1);
        if (answer == cld::engine::Answer::Cancel) {
            EXPECT_EQ(end.result, cld::engine::JobResult::Cancelled);
            continue;
        }
        EXPECT_EQ(end.result, cld::engine::JobResult::Completed);
        EXPECT_GT(shown, 0);
        EXPECT_EQ(run.itemEnds().size(), 2u);
        EXPECT_EQ(fileBytes(m_dir.path() / "Band - Two.wav"), "mine");
        EXPECT_TRUE(readWav(m_dir.path() / "Band - Two (2).wav").data ==
                    imageBytes(ranges[1].first, ranges[1].last));
    }
}
