// "Get CD Info" with MusicBrainz: the grabber on a virtual disc, a loopback MusicBrainz
// and Cover Art Archive server, and the loopback FreeDB server behind it.

#include "CCDGrabDlg.h"
#include "CEditableListCtrl.h"
#include "CFreeDBQueryDlg.h"
#include "CMusicBrainzReleaseDlg.h"
#include "COptionsDlg.h"
#include "CddbTestServer.h"
#include "GrabDialogKit.h"
#include "MbAnswers.h"
#include "MbDiscId.h"
#include "MusicBrainzClient.h"
#include "Processes.h"
#include "StringIds.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <fstream>

using namespace cldtest;
using cld::findControl;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

// A real JPEG (the grabber shows it), 40 x 40 of one colour.
std::string jpegCover() {
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPG"));
    return bytes.toStdString();
}

std::string fileBytes(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : std::string();
}

class MusicBrainzGrab : public GrabDialogTest {
protected:
    MusicBrainzGrab() {
        cld::mb::MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(0));
        cld::mb::MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(0));
        const std::string at = "127.0.0.1:" + std::to_string(m_mb.port());
        EXPECT_TRUE(m_settings.setMusicBrainzServer(at));
        EXPECT_TRUE(m_settings.setCoverArtServer("http://" + at + "/"));
        EXPECT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kMusicBrainzThenFreeDB));
        EXPECT_TRUE(m_settings.setFreeDBDeadline(5));
        // FreeDB on the loopback CDDB server, without a proxy (a proxy would carry the
        // MusicBrainz requests too).
        EXPECT_TRUE(
            m_settings.setCddbOptions("127.0.0.1:" + std::to_string(m_freedb.port()), "", 0, 8080));
        EXPECT_TRUE(m_settings.setFreeDBEmail("tester@example.org"));
    }
    ~MusicBrainzGrab() override {
        cld::mb::MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(1000));
        cld::mb::MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(1000));
    }

    static DiscSpec threeTracks() {
        DiscSpec disc;
        for (int seconds : {20, 15, 10})
            disc.tracks.push_back({Content::Music, 75 * seconds, {}, {}, 0, 0});
        return disc;
    }

    // The disc id of the disc in the drive, from libdiscid on the ripper's sectors.
    std::string discIdOfDrive() {
        std::vector<std::int32_t> firsts;
        std::int32_t last = 0;
        for (const Range& r : trackRanges()) {
            firsts.push_back(static_cast<std::int32_t>(r.first));
            last = static_cast<std::int32_t>(r.last);
        }
        return cld::mb::musicBrainzDiscId(cld::mb::tocFromSectors(firsts, last));
    }

    QString status(const CCDGrabDlg& dlg) const {
        return findControl<QLabel>(&dlg, CCDGrabDlg::kLookupStatus)->text();
    }
    QString field(const CCDGrabDlg& dlg, int id) const {
        return findControl<QLineEdit>(&dlg, id)->text();
    }
    void getInfo(CCDGrabDlg& dlg) {
        findControl<QPushButton>(&dlg, CCDGrabDlg::kGetCdInfo)->click();
    }

    CddbTestServer m_mb;
    CddbTestServer m_freedb;
};

MbTestRelease album(const std::string& id, const std::string& title, const std::string& disc) {
    return {id, title, "Die Ärzte", "1998-03-01", "rock", disc, {"Eins", "Zwei/Drei", "Vier"}};
}

} // namespace

TEST_F(MusicBrainzGrab, DiscIdOfVirtualDiscsMatchesLibdiscidOnTheImagesOwnTable) {
    // Track lengths known from the image: starts at 0, 1500, 2625; lead-out at 3375.
    startDrives({threeTracks()});
    const auto ranges = trackRanges();
    ASSERT_EQ(ranges.size(), 3u);
    cld::mb::MbToc own;
    own.firstTrack = 1;
    own.lastTrack = 3;
    own.offsets = {150, 150 + 1500, 150 + 2625};
    own.leadOut = 150 + 3375;
    EXPECT_EQ(discIdOfDrive(), cld::mb::musicBrainzDiscId(own));
    EXPECT_EQ(ranges[1].first, 1500);
}

TEST_F(MusicBrainzGrab, EnhancedCdCountsItsAudioSessionOnly) {
    // Two audio tracks, then a data track 11,400 sectors after the audio session: the id
    // takes the data track's start less 11,400 as the lead-out.
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 1500, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 1125, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Data, 300, {}, {}, 0, 0});
    startDrives({disc});
    ASSERT_EQ(trackRanges().size(), 2u);
    cld::mb::MbToc own;
    own.lastTrack = 2;
    own.offsets = {150, 150 + 1500};
    own.leadOut = (2625 + 11400 + 150) - 11400;
    EXPECT_EQ(discIdOfDrive(), cld::mb::musicBrainzDiscId(own));
}

TEST_F(MusicBrainzGrab, OneReleaseNamesTheGrabWithItsCoverAndTheCacheKeepsThem) {
    startDrives({threeTracks()});
    openCache();
    const std::string id = discIdOfDrive();
    ASSERT_FALSE(id.empty());
    const std::string cover = jpegCover();
    m_mb.queueAnswer(mbHttp(200, "OK", mbDiscJson({album("1f2e-3d4c", "Großes Album", id)})));
    m_mb.queueAnswer(mbHttp(200, "OK", cover, "image/jpeg"));
    m_folderAnswer = QString::fromStdString(m_dir.path().string());

    {
        CCDGrabDlg dlg(m_context, true);
        getInfo(dlg);
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(dlg.musicBrainzDiscId(), id);
        EXPECT_EQ(field(dlg, CCDGrabDlg::kArtist), QString::fromUtf8("Die Ärzte"));
        EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), QString::fromUtf8("Großes Album"));
        EXPECT_EQ(field(dlg, CCDGrabDlg::kYear), "1998");
        EXPECT_EQ(findControl<QComboBox>(&dlg, CCDGrabDlg::kGenre)->currentText(), "Rock");
        EXPECT_EQ(dlg.trackList()->cellText(1, 0), "Zwei/Drei");
        EXPECT_EQ(dlg.trackList()->cellText(2, 4), QString::fromUtf8("Die Ärzte"));
        EXPECT_TRUE(status(dlg).contains("with its cover")) << status(dlg).toStdString();
        auto* coverLabel = findControl<QLabel>(&dlg, CCDGrabDlg::kCover);
        EXPECT_FALSE(coverLabel->isHidden());
        EXPECT_FALSE(coverLabel->pixmap().isNull());
        EXPECT_EQ(dlg.coverImage(), cover);
        // FreeDB was not asked.
        EXPECT_TRUE(m_freedb.requests().empty());
        ASSERT_EQ(m_mb.requests().size(), 2u);
        EXPECT_EQ(m_mb.requests()[1].rfind("GET /release/1f2e-3d4c/front-500 ", 0), 0u);

        dlg.trackList()->setChecked(0, true);
        dlg.trackList()->setChecked(1, true);
        findControl<QPushButton>(&dlg, 1)->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    const auto folder = m_dir.path() / "Die Ärzte - Großes Album";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(fileBytes(folder / "folder.jpg"), cover);
    EXPECT_FALSE(std::filesystem::exists(folder / "folder.jpg.part"));
    EXPECT_GT(std::filesystem::file_size(folder / "Die Ärzte - Eins.wav"), 44u);
    // The slash of a title never makes a sub-folder.
    EXPECT_GT(std::filesystem::file_size(folder / "Die Ärzte - Zwei-Drei.wav"), 44u);

    // The second time the names come from the cache, without a look-up.
    CCDGrabDlg again(m_context, false);
    EXPECT_EQ(field(again, CCDGrabDlg::kAlbum), QString::fromUtf8("Großes Album"));
    EXPECT_EQ(again.trackList()->cellText(2, 0), "Vier");
    EXPECT_EQ(field(again, CCDGrabDlg::kYear), "1998");
    EXPECT_EQ(m_mb.requests().size(), 2u);
}

TEST_F(MusicBrainzGrab, SeveralReleasesOfferAChoiceAndAMissingCoverIsSilent) {
    startDrives({threeTracks()});
    const std::string id = discIdOfDrive();
    MbTestRelease second = album("bbbb-2", "Zweite Ausgabe", id);
    second.tracks = {"Un", "Deux", "Trois"};
    second.date = "2004";
    m_mb.queueAnswer(mbHttp(200, "OK", mbDiscJson({album("aaaa-1", "Erste Ausgabe", id), second})));
    m_mb.queueAnswer(mbHttp(404, "Not Found", "{}"));
    CCDGrabDlg dlg(m_context, false);
    int listed = 0;
    whenModal([](QWidget* w) { return qobject_cast<CMusicBrainzReleaseDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* list = findControl<QTreeWidget>(w, CMusicBrainzReleaseDlg::kList);
                  listed = list->topLevelItemCount();
                  EXPECT_EQ(list->topLevelItem(1)->text(1), "Zweite Ausgabe");
                  EXPECT_EQ(list->topLevelItem(1)->text(2), "2004");
                  list->setCurrentItem(list->topLevelItem(1));
                  list->topLevelItem(1)->setSelected(true);
                  findControl<QPushButton>(w, 1)->click();
              });
    getInfo(dlg);
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), "Zweite Ausgabe");
    EXPECT_EQ(field(dlg, CCDGrabDlg::kYear), "2004");
    EXPECT_EQ(dlg.trackList()->cellText(0, 0), "Un");
    EXPECT_TRUE(dlg.coverImage().empty());
    EXPECT_TRUE(findControl<QLabel>(&dlg, CCDGrabDlg::kCover)->isHidden());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(status(dlg).toStdString(),
              "Names from MusicBrainz: Die Ärzte - Zweite Ausgabe (2004, XE).");
    EXPECT_EQ(m_mb.requests()[1].rfind("GET /release/bbbb-2/front-500 ", 0), 0u);

    // Declining the choice leaves the names and asks FreeDB nothing.
    m_mb.queueAnswer(mbHttp(200, "OK", mbDiscJson({album("aaaa-1", "Erste Ausgabe", id), second})));
    whenModal([](QWidget* w) { return qobject_cast<CMusicBrainzReleaseDlg*>(w) != nullptr; },
              [](QWidget* w) { findControl<QPushButton>(w, 2)->click(); });
    getInfo(dlg);
    EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), "Zweite Ausgabe");
    EXPECT_TRUE(m_freedb.requests().empty());
}

TEST_F(MusicBrainzGrab, UnknownDiscFallsBackToFreeDBAndFreeDBOnlyAsksNoMusicBrainz) {
    startDrives({threeTracks()});
    CCDGrabDlg dlg(m_context, false);
    m_mb.queueAnswer(mbHttp(404, "Not Found", R"({"error":"Not Found"})"));
    m_freedb.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    bool sawFreeDB = false;
    const auto closeFreeDB = [&](QWidget* w) {
        sawFreeDB = true;
        w->close();
    };
    const auto freeDBDone = [](QWidget* w) {
        auto* q = qobject_cast<CFreeDBQueryDlg*>(w);
        return q && q->queryDone();
    };
    whenModal(freeDBDone, closeFreeDB);
    getInfo(dlg);
    EXPECT_TRUE(sawFreeDB);
    EXPECT_EQ(status(dlg), "MusicBrainz does not know this disc.");
    EXPECT_EQ(m_mb.requests().size(), 1u);
    EXPECT_EQ(m_freedb.requests().size(), 1u);

    ASSERT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kFreeDBOnly));
    m_freedb.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    sawFreeDB = false;
    whenModal(freeDBDone, closeFreeDB);
    getInfo(dlg);
    EXPECT_TRUE(sawFreeDB);
    EXPECT_EQ(m_mb.requests().size(), 1u);
}

TEST_F(MusicBrainzGrab, NamesFromFreeDBAfterwardsDropTheEarlierCover) {
    startDrives({threeTracks()});
    const std::string id = discIdOfDrive();
    m_mb.queueAnswer(mbHttp(200, "OK", mbDiscJson({album("1f2e", "Großes Album", id)})));
    m_mb.queueAnswer(mbHttp(200, "OK", jpegCover(), "image/jpeg"));
    CCDGrabDlg dlg(m_context, false);
    getInfo(dlg);
    ASSERT_FALSE(dlg.coverImage().empty());

    ASSERT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kFreeDBOnly));
    char cddbId[16];
    std::snprintf(cddbId, sizeof cddbId, "%08x", dlg.discId());
    m_freedb.queueAnswer(CddbTestServer::httpAnswer(
        std::string("200 misc ") + cddbId + " Other / Names\r\n", false));
    m_freedb.queueAnswer(CddbTestServer::httpAnswer(
        "210 misc " + std::string(cddbId) +
        " CD database entry follows (until terminating `.')\r\n# xmcd\r\n#\r\n"
        "# Track frame offsets:\r\n#\t150\r\n#\t1650\r\n#\t2775\r\n#\r\n"
        "# Disc length: 47 seconds\r\n#\r\n# Revision: 1\r\n"
        "# Submitted via: tester 1.0\r\n#\r\nDISCID=" +
        cddbId +
        "\r\nDTITLE=Other / Names\r\nTTITLE0=A\r\nTTITLE1=B\r\nTTITLE2=C\r\n"
        "EXTD=\r\nPLAYORDER=\r\n"));
    whenModal(
        [](QWidget* w) {
            auto* q = qobject_cast<CFreeDBQueryDlg*>(w);
            return q && q->queryDone();
        },
        [](QWidget* w) {
            auto* list = findControl<QTreeWidget>(w, CFreeDBQueryDlg::kList);
            if (list->topLevelItemCount() == 0) {
                ADD_FAILURE() << "FreeDB listed nothing";
                w->close();
                return;
            }
            list->setCurrentItem(list->topLevelItem(0));
            list->topLevelItem(0)->setSelected(true);
            findControl<QPushButton>(w, 1)->click();
        });
    getInfo(dlg);
    EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), "Names");
    EXPECT_TRUE(dlg.coverImage().empty());
    EXPECT_TRUE(findControl<QLabel>(&dlg, CCDGrabDlg::kCover)->isHidden());
}

TEST_F(MusicBrainzGrab, BusyMalformedAndOfflineServersSayOneLineAndTypingStillWorks) {
    startDrives({threeTracks()});
    ASSERT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kMusicBrainzOnly));
    CCDGrabDlg dlg(m_context, false);
    const QString album = field(dlg, CCDGrabDlg::kAlbum);

    m_mb.queueAnswer(mbHttp(503, "Service Unavailable", "", "text/plain", "Retry-After: 30\r\n"));
    getInfo(dlg);
    EXPECT_EQ(status(dlg), "MusicBrainz is busy; try again in 30 seconds.");
    EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), album);
    EXPECT_TRUE(dlg.isEnabled());
    EXPECT_TRUE(findControl<QPushButton>(&dlg, CCDGrabDlg::kGetCdInfo)->isEnabled());

    m_mb.queueAnswer(mbHttp(200, "OK", "{\"releases\":[{\"id\":"));
    getInfo(dlg);
    EXPECT_EQ(status(dlg), "MusicBrainz's answer could not be read.");

    ASSERT_TRUE(m_settings.setMusicBrainzServer("127.0.0.1:1"));
    getInfo(dlg);
    EXPECT_EQ(status(dlg), "MusicBrainz could not be reached (127.0.0.1:1).");
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(m_freedb.requests().empty());

    // The fields are still the user's to type.
    findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->setText("Typed");
    EXPECT_EQ(field(dlg, CCDGrabDlg::kAlbum), "Typed");
}

TEST_F(MusicBrainzGrab, CancelEndsASlowLookUpAndTheWindowStaysOpen) {
    startDrives({threeTracks()});
    ASSERT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kMusicBrainzOnly));
    ASSERT_TRUE(m_settings.setFreeDBDeadline(60));
    CCDGrabDlg dlg(m_context, false);
    dlg.show();
    m_mb.queue({{}, 60000}); // connected and silent for a minute
    bool cancelWasEnabled = false;
    bool getInfoWasDisabled = false;
    m_waitHook = [&](int) {};
    // Cancel once the server has the request: the look-up is then under way.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        if (m_mb.requests().empty())
            return;
        poll.stop();
        cancelWasEnabled = findControl<QPushButton>(&dlg, 2)->isEnabled();
        getInfoWasDisabled = !findControl<QPushButton>(&dlg, CCDGrabDlg::kGetCdInfo)->isEnabled();
        findControl<QPushButton>(&dlg, 2)->click();
    });
    poll.start();
    getInfo(dlg);
    EXPECT_TRUE(cldtest::waitUntil([&] { return m_mb.handled() == 1; }));
    EXPECT_EQ(m_mb.closedByClient(), 1) << "the cancel ended the look-up, not the server";
    EXPECT_TRUE(cancelWasEnabled);
    EXPECT_TRUE(getInfoWasDisabled);
    EXPECT_EQ(status(dlg), "The MusicBrainz look-up was cancelled.");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(findControl<QPushButton>(&dlg, CCDGrabDlg::kGetCdInfo)->isEnabled());
    // What was disabled before the look-up stays so.
    EXPECT_FALSE(findControl<QWidget>(&dlg, CCDGrabDlg::kIntroSeconds)->isEnabled());
    EXPECT_TRUE(findControl<QWidget>(&dlg, CCDGrabDlg::kArtist)->isEnabled());
}

TEST_F(MusicBrainzGrab, OptionsDialogKeepsTheSourceAndServers) {
    COptionsDlg dlg(m_settings, COptionsDlg::builtinLanguages());
    auto* source = findControl<QComboBox>(&dlg, COptionsDlg::kNameSource);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->currentIndex(), SettingsRecord::kMusicBrainzThenFreeDB);
    EXPECT_EQ(source->count(), 3);
    auto* server = findControl<QLineEdit>(&dlg, COptionsDlg::kMusicBrainzServer);
    server->setText("ftp://musicbrainz.org");
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(messageIds(), std::vector<int>{cld::IDS_BAD_MUSICBRAINZ_SERVER});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    server->setText("mb.example.org:5000");
    findControl<QLineEdit>(&dlg, COptionsDlg::kCoverArtServer)->setText("");
    source->setCurrentIndex(SettingsRecord::kFreeDBOnly);
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.discNameSource(), SettingsRecord::kFreeDBOnly);
    EXPECT_EQ(dlg.musicBrainzServer(), "mb.example.org:5000");
    EXPECT_EQ(dlg.coverArtServer(), "");

    // Stored values come back on the next start; an absurd source reads as the default.
    EXPECT_EQ(SettingsRecord().coverArtServer(), SettingsRecord::kDefaultCoverArtServer);
    ASSERT_TRUE(m_settings.setDiscNameSource(SettingsRecord::kMusicBrainzOnly));
    ASSERT_TRUE(m_settings.setMusicBrainzServer("mb.example.org:5000"));
    ASSERT_TRUE(m_settings.writeProfileInt(SettingsRecord::kPreferences, "DiscNameSource", 1));
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.discNameSource(), SettingsRecord::kMusicBrainzOnly);
    EXPECT_EQ(next.musicBrainzServer(), "mb.example.org:5000");
    EXPECT_EQ(next.coverArtServer(), "http://127.0.0.1:" + std::to_string(m_mb.port()) + "/");
    ASSERT_TRUE(m_settings.writeProfileInt(SettingsRecord::kPreferences, "DiscNameSource", 7));
    next.LoadSettings();
    EXPECT_EQ(next.discNameSource(), SettingsRecord::kMusicBrainzThenFreeDB);
    EXPECT_FALSE(m_settings.setDiscNameSource(3));
}
