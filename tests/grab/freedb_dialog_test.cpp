// The FreeDB dialogs and the options dialog against a CDDB server on the loopback
// interface, reached as the HTTP proxy the settings name.

#include "CCDGrabDlg.h"
#include "CEditableListCtrl.h"
#include "CFreeDBQueryDlg.h"
#include "CFreeDBServersDlg.h"
#include "CHyperLink.h"
#include "COptionsDlg.h"
#include "CddbSettings.h"
#include "CddbTestServer.h"
#include "GrabDialogKit.h"
#include "Processes.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

using namespace cldtest;
using cld::findControl;
using cldtest::ScopedEnv;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

std::string entry(const std::string& dtitle, const std::vector<std::string>& titles) {
    std::string body = "210 rock 0a1b2c3d CD database entry follows (until terminating `.')\r\n"
                       "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t15150\r\n#\r\n"
                       "# Disc length: 400 seconds\r\n#\r\n# Revision: 1\r\n"
                       "# Submitted via: tester 1.0\r\n#\r\nDISCID=0a1b2c3d\r\nDTITLE=" +
                       dtitle + "\r\n";
    for (std::size_t i = 0; i < titles.size(); ++i)
        body += "TTITLE" + std::to_string(i) + "=" + titles[i] + "\r\n";
    body += "EXTD=\r\nPLAYORDER=\r\n";
    return CddbTestServer::httpAnswer(body);
}

const std::string kTwoMatches =
    CddbTestServer::httpAnswer("211 Found inexact matches, list follows (until terminating `.')\r\n"
                               "rock 0a1b2c3d The Artist / The Album\r\n"
                               "misc 00c0ffee Sampler Title\r\n");

const std::string kSites = CddbTestServer::httpAnswer(
    "210 OK, site information follows (until terminating `.')\r\n"
    "freedb.example.org http 8880 /cgi/cddb.cgi N037.21 W122.00 Example City, USA\r\n"
    "freedb.example.org cddbp 888 - N037.21 W122.00 Example City, USA\r\n"
    "mirror.example.net http 8080 /other/cddb.cgi S033.52 E151.12 Sydney, Australia\r\n");

class FreeDB : public GrabDialogTest {
protected:
    FreeDB() {
        // Every command goes to the loopback server as the proxy; the request line names
        // the server the settings chose.
        EXPECT_TRUE(m_settings.setCddbOptions("freedb.test", "127.0.0.1", 1, m_server.port()));
        EXPECT_TRUE(m_settings.setFreeDBEmail("tester@example.org"));
    }

    static CFreeDBQueryDlg::Disc twoTrackDisc() {
        return {0x0a1b2c3d, {"0:00.00", "3:20.00"}, 400};
    }

    // Shows a dialog and lets its opening command run to its end.
    template <class Dlg> void openAndWait(Dlg& dlg, bool (Dlg::*done)() const) {
        dlg.show();
        const auto until = std::chrono::steady_clock::now() + cldtest::kHangLimit;
        while (!(dlg.*done)() && std::chrono::steady_clock::now() < until)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE((dlg.*done)());
    }

    static void selectRow(QTreeWidget* list, int row) {
        list->setCurrentItem(list->topLevelItem(row));
        list->topLevelItem(row)->setSelected(true);
    }

    CddbTestServer m_server;
};

} // namespace

TEST_F(FreeDB, KnownDiscFillsTheGrabbersFieldsAndOnlyItsRows) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 75 * 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 75 * 20, {}, {}, 0, 0});
    startDrives({disc});
    CCDGrabDlg grabber(m_context, false);
    ASSERT_EQ(grabber.trackList()->rowCount(), 2);
    char id[16];
    std::snprintf(id, sizeof id, "%08x", grabber.discId());
    m_server.queueAnswer(CddbTestServer::httpAnswer(
        std::string("200 rock ") + id + " The Artist / The Album\r\n", false));
    // Three titles for a disc of two tracks; one of them in Latin-1 from an old server.
    m_server.queueAnswer(entry("Die \xC3\x84rzte / Gro\xC3\x9F", {"Eins", "Zw\xF6lf", "Drei"}));
    bool sawDialog = false;
    whenModal(
        [](QWidget* w) {
            auto* q = qobject_cast<CFreeDBQueryDlg*>(w);
            return q && q->queryDone();
        },
        [&](QWidget* w) {
            sawDialog = true;
            auto* list = findControl<QTreeWidget>(w, CFreeDBQueryDlg::kList);
            EXPECT_EQ(list->topLevelItemCount(), 1);
            selectRow(list, 0);
            findControl<QPushButton>(w, 1)->click();
        });
    findControl<QPushButton>(&grabber, CCDGrabDlg::kGetCdInfo)->click();
    ASSERT_TRUE(sawDialog);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(findControl<QLineEdit>(&grabber, CCDGrabDlg::kArtist)->text(),
              QString::fromUtf8("Die \xC3\x84rzte"));
    EXPECT_EQ(findControl<QLineEdit>(&grabber, CCDGrabDlg::kAlbum)->text(),
              QString::fromUtf8("Gro\xC3\x9F"));
    EXPECT_EQ(findControl<QComboBox>(&grabber, CCDGrabDlg::kGenre)->currentText(), "Rock");
    ASSERT_EQ(grabber.trackList()->rowCount(), 2);
    EXPECT_EQ(grabber.trackList()->cellText(0, 0), "Eins");
    EXPECT_EQ(grabber.trackList()->cellText(1, 0), QString::fromUtf8("Zw\xC3\xB6lf"));
    EXPECT_EQ(grabber.trackList()->cellText(1, 4), QString::fromUtf8("Die \xC3\x84rzte"));
    EXPECT_EQ(grabber.trackList()->cellText(1, 5), "Rock");

    // The query named the disc's tracks from the start of the pre-gap; the read went to
    // the same server with the match's category and identifier.
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string query = std::string("GET http://freedb.test/~cddb/cddb.cgi?cmd=cddb+query+") +
                              id + "+2+150+15150+220&";
    EXPECT_EQ(requests[0].rfind(query, 0), 0u) << requests[0];
    EXPECT_EQ(requests[1].rfind(std::string("GET http://freedb.test/~cddb/cddb.cgi?cmd=cddb+read+"
                                            "rock+") +
                                    id + "&",
                                0),
              0u)
        << requests[1];
}

TEST_F(FreeDB, UnknownDiscShows147ThenOkShows148) {
    m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    EXPECT_EQ(dlg.windowTitle(), "Calderine - Get Track Names from Internet FreeDB");
    // The link names the server the dialog asks, not the public service.
    auto* link = findControl<CHyperLink>(&dlg, CFreeDBQueryDlg::kLink);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "CD Database Provided by freedb.test");
    EXPECT_EQ(link->url().toString(), "http://freedb.test/");
    openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    EXPECT_EQ(messageIds(), std::vector<int>{147});
    EXPECT_EQ(messages().back().icon, MessageIcon::None);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(findControl<QTreeWidget>(&dlg, CFreeDBQueryDlg::kList)->topLevelItemCount(), 0);
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(messageIds(), (std::vector<int>{147, 148}));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(m_server.requests().size(), 1u);
}

TEST_F(FreeDB, SilentServerIsTriedTwiceThen145ClosesTheDialog) {
    m_server.queue({{}, 60000}); // silent until the client gives up
    m_server.queue({{}, 60000}); // silent until the client gives up
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(messageIds(), std::vector<int>{145});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    // The message names the server that was asked.
    EXPECT_TRUE(messages().back().text.startsWith("Error: Cannot connect to freedb.test,"))
        << messages().back().text.toStdString();
    EXPECT_EQ(m_server.requests().size(), 2u);
}

TEST_F(FreeDB, FailingReadShows149AndStays) {
    m_server.queueAnswer(kTwoMatches);
    m_server.queueAnswer(
        CddbTestServer::httpAnswer("401 rock 0a1b2c3d No such CD entry\r\n", false));
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    auto* list = findControl<QTreeWidget>(&dlg, CFreeDBQueryDlg::kList);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), "           Artist           ");
    EXPECT_EQ(list->headerItem()->text(1), "            Title            ");
    EXPECT_EQ(list->headerItem()->text(2), "   Category   ");
    EXPECT_EQ(list->headerItem()->text(3), "   Disc ID   ");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "The Artist");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "The Album");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "A1B2C3D");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "Sampler Title");
    EXPECT_EQ(list->topLevelItem(1)->text(2), "misc");
    EXPECT_EQ(list->topLevelItem(1)->text(3), "C0FFEE");
    selectRow(list, 0);
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(messageIds(), std::vector<int>{149});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    // The table's text comes first, then the server's own word for what went wrong.
    EXPECT_TRUE(messages().back().text.startsWith(
        QStringLiteral("Error: Cannot Read the Disc Information from the FreeDB Server.")));
    EXPECT_TRUE(messages().back().text.contains(QStringLiteral("No such CD entry")))
        << messages().back().text.toStdString();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.lookupResult().titles.empty());
}

TEST_F(FreeDB, ServerListShowsHostsAndLocations) {
    m_server.queueAnswer(kSites);
    CFreeDBServersDlg dlg(m_settings);
    EXPECT_EQ(dlg.windowTitle(), "Calderine - Browse FreeDB Internet Servers");
    openAndWait(dlg, &CFreeDBServersDlg::listDone);
    EXPECT_TRUE(messages().empty());
    auto* list = findControl<QTreeWidget>(&dlg, CFreeDBServersDlg::kList);
    EXPECT_EQ(list->headerItem()->text(0), "   Server Address   ");
    EXPECT_EQ(list->headerItem()->text(1), "   Location   ");
    ASSERT_EQ(list->topLevelItemCount(), 2); // the cddbp line is not for us
    EXPECT_EQ(list->topLevelItem(1)->text(0), "mirror.example.net");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "Sydney, Australia");
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(
        m_server.requests()[0].rfind("GET http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=sites&", 0),
        0u);
    // The list came from the public service, and the link says so.
    auto* link = findControl<CHyperLink>(&dlg, 1144);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "CD Database Provided by gnudb.org");
    EXPECT_EQ(link->url().host(), "gnudb.org");
    // OK without a selection returns no host.
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.chosenHost(), "");
}

TEST_F(FreeDB, ServerListFromAMirrorNamesTheMirror) {
    m_server.queueAnswer(kSites);
    CFreeDBServersDlg dlg(m_settings, nullptr, "mirror.example.net:8080");
    auto* link = findControl<CHyperLink>(&dlg, 1144);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "CD Database Provided by mirror.example.net:8080");
    EXPECT_EQ(link->url().toString(), "http://mirror.example.net:8080/");
    openAndWait(dlg, &CFreeDBServersDlg::listDone);
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_server.requests()[0].rfind("GET http://mirror.example.net:8080/", 0), 0u)
        << m_server.requests()[0];
}

TEST_F(FreeDB, ServerListThatFailsTwiceShows145AndStaysEmpty) {
    m_server.queueAnswer(CddbTestServer::httpAnswer("500 Command syntax error\r\n", false));
    m_server.queueAnswer("garbage without a header");
    CFreeDBServersDlg dlg(m_settings);
    openAndWait(dlg, &CFreeDBServersDlg::listDone);
    EXPECT_EQ(messageIds(), std::vector<int>{145});
    EXPECT_EQ(messages().back().icon, MessageIcon::None);
    EXPECT_TRUE(messages().back().text.startsWith("Error: Cannot connect to gnudb.gnudb.org,"))
        << messages().back().text.toStdString();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(findControl<QTreeWidget>(&dlg, CFreeDBServersDlg::kList)->topLevelItemCount(), 0);
    EXPECT_EQ(m_server.requests().size(), 2u);
}

TEST_F(FreeDB, OwnServerByHostPortOrAddress) {
    const std::string port = std::to_string(m_server.port());
    // No proxy: the server typed is the one connected to.
    ASSERT_TRUE(m_settings.setCddbOptions("127.0.0.1:" + port, "", 0, 8080));
    m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    {
        CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
        openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    }
    ASSERT_TRUE(
        m_settings.setCddbOptions("http://127.0.0.1:" + port + "/cgi-bin/cddb.cgi", "", 0, 8080));
    m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    {
        CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
        openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    }
    EXPECT_EQ(messageIds(), (std::vector<int>{147, 147}));
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("GET /~cddb/cddb.cgi?cmd=cddb+query+0a1b2c3d+2+", 0), 0u)
        << requests[0];
    EXPECT_NE(requests[0].find("\r\nHost: 127.0.0.1:" + port + "\r\n"), std::string::npos);
    EXPECT_EQ(requests[1].rfind("GET /cgi-bin/cddb.cgi?cmd=cddb+query+0a1b2c3d+2+", 0), 0u)
        << requests[1];

    // Nothing listens on the port of a server that is down: the message names it.
    int closedPort = 0;
    {
        CddbTestServer gone;
        closedPort = gone.port();
    }
    ASSERT_TRUE(m_settings.setCddbOptions("127.0.0.1:" + std::to_string(closedPort), "", 0, 8080));
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    ASSERT_EQ(messageIds().back(), 145);
    EXPECT_TRUE(messages().back().text.startsWith(QString::fromStdString(
        "Error: Cannot connect to 127.0.0.1:" + std::to_string(closedPort) + ",")))
        << messages().back().text.toStdString();
}

TEST_F(FreeDB, SingleExactMatchIsPreselected) {
    m_server.queueAnswer(
        CddbTestServer::httpAnswer("200 rock 0a1b2c3d AC/DC / Back in Black\r\n", false));
    m_server.queueAnswer(entry("AC/DC / Back in Black", {"Hells Bells", "Shoot to Thrill"}));
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    auto* list = findControl<QTreeWidget>(&dlg, CFreeDBQueryDlg::kList);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "AC/DC");
    EXPECT_TRUE(list->topLevelItem(0)->isSelected());
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_TRUE(messages().empty()) << messageIds().front();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.lookupResult().artist, "AC/DC");
    EXPECT_EQ(dlg.lookupResult().album, "Back in Black");
    EXPECT_EQ(dlg.lookupResult().titles.size(), 2u);
}

TEST_F(FreeDB, CancelStaysActiveWhileTheServerIsAskedAndEndsTheLookup) {
    m_server.queue({{}, 60000}); // connected, silent until the client gives up
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    // The look-up keeps the window's events flowing; this timer acts from within it.
    bool seenBusy = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dlg.busy())
            return;
        poll.stop();
        seenBusy = true;
        auto* cancel = findControl<QPushButton>(&dlg, 2);
        EXPECT_TRUE(cancel->isEnabled());
        EXPECT_TRUE(dlg.isEnabled());
        EXPECT_FALSE(findControl<QPushButton>(&dlg, 1)->isEnabled());
        EXPECT_FALSE(findControl<QTreeWidget>(&dlg, CFreeDBQueryDlg::kList)->isEnabled());
        EXPECT_EQ(findControl<QLabel>(&dlg, CFreeDBQueryDlg::kStatus)->text(),
                  "Asking freedb.test...");
        cancel->click();
    });
    poll.start();
    dlg.show();
    const auto until = std::chrono::steady_clock::now() + cldtest::kHangLimit;
    while (!dlg.queryDone() && std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(seenBusy);
    ASSERT_TRUE(dlg.queryDone());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    // Cancelled: no message, and the query is not tried a second time.
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(m_server.requests().size(), 1u);
}

TEST_F(FreeDB, AnEmailAddressIsAskedForOnce) {
    ScopedEnv noEnvironmentAddress("CLD_CDDB_EMAIL", "");
    ASSERT_TRUE(m_settings.setFreeDBEmail(""));
    CFreeDBQueryDlg::forgetDeclinedEmail();
    const auto isQuestion = [](QWidget* w) {
        return w->property("cld_id").toInt() == CFreeDBQueryDlg::kEmailDialogId;
    };
    int asked = 0;
    whenModal(isQuestion, [&](QWidget* w) {
        ++asked;
        EXPECT_EQ(w->windowTitle(), "Calderine - E-mail Address for FreeDB");
        // An address that is none is refused, and the question stays.
        whenModal(isQuestion, [&](QWidget* again) {
            ++asked;
            findControl<QLineEdit>(again, CFreeDBQueryDlg::kEmailEdit)->setText(" me@example.org ");
            findControl<QPushButton>(again, 1)->click();
        });
        findControl<QLineEdit>(w, CFreeDBQueryDlg::kEmailEdit)->setText("not-an-address");
        findControl<QPushButton>(w, 1)->click();
    });
    m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    {
        CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
        openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    }
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(messageIds(), (std::vector<int>{cld::IDS_BAD_EMAIL, 147}));
    EXPECT_EQ(m_settings.freeDBEmail(), "me@example.org");
    SettingsRecord reread;
    reread.LoadSettings();
    EXPECT_EQ(reread.freeDBEmail(), "me@example.org");
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_NE(m_server.requests()[0].find("&hello=me+example.org+Calderine+3.00&proto="),
              std::string::npos)
        << m_server.requests()[0];

    // Declined: an anonymous identity goes out, never the login or machine name, and the
    // question is not put again in this run.
    ASSERT_TRUE(m_settings.setFreeDBEmail(""));
    whenModal(isQuestion, [&](QWidget* w) {
        ++asked;
        findControl<QPushButton>(w, 2)->click();
    });
    for (int i = 0; i < 2; ++i) {
        m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
        CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
        openAndWait(dlg, &CFreeDBQueryDlg::queryDone);
    }
    EXPECT_EQ(asked, 3);
    ASSERT_EQ(m_server.requests().size(), 3u);
    for (std::size_t i = 1; i < 3; ++i)
        EXPECT_NE(m_server.requests()[i].find("&hello=anonymous+localhost+Calderine+3.00&proto="),
                  std::string::npos)
            << m_server.requests()[i];
    EXPECT_EQ(m_settings.freeDBEmail(), "");
    CFreeDBQueryDlg::forgetDeclinedEmail();
}

class Options : public FreeDB {
protected:
    LanguageChoice languages() {
        LanguageChoice choice;
        choice.names = {"English", "German"};
        choice.current = 0;
        choice.select = [this](int index) { m_chosenLanguage = index; };
        return choice;
    }
    SettingsRecord stored() {
        SettingsRecord reread;
        reread.LoadSettings();
        return reread;
    }
    int m_chosenLanguage = -1;
};

TEST_F(Options, CancelWritesNothingAndKeepsTheLanguage) {
    bool acted = false;
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  acted = true;
                  EXPECT_EQ(w->windowTitle(), "Calderine - Options");
                  EXPECT_FALSE(findControl<QLineEdit>(w, COptionsDlg::kFreeDBServer)->isReadOnly());
                  EXPECT_EQ(findControl<QLineEdit>(w, COptionsDlg::kFreeDBServer)->text(),
                            "freedb.test");
                  findControl<QLineEdit>(w, COptionsDlg::kProxyServer)->setText("other");
                  findControl<QCheckBox>(w, COptionsDlg::kUseProxy)->setChecked(false);
                  findControl<QComboBox>(w, COptionsDlg::kLanguage)->setCurrentIndex(1);
                  findControl<QPushButton>(w, 2)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    ASSERT_TRUE(acted);
    EXPECT_EQ(messageIds(), std::vector<int>{216});
    EXPECT_EQ(messages().back().icon, MessageIcon::Information);
    EXPECT_EQ(m_chosenLanguage, -1);
    const SettingsRecord s = stored();
    EXPECT_EQ(s.freeDBServer(), "freedb.test");
    EXPECT_EQ(s.useProxy(), 1);
    EXPECT_EQ(s.proxyServer(), "127.0.0.1");
    EXPECT_EQ(s.proxyPort(), m_server.port());
    EXPECT_EQ(m_settings.useProxy(), 1);
}

TEST_F(Options, UncheckingTheProxyKeepsItsTextAndStoresUseProxy0) {
    ASSERT_TRUE(m_settings.setCddbOptions("freedb.test", "proxy.lan", 1, 3128));
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* host = findControl<QLineEdit>(w, COptionsDlg::kProxyServer);
                  auto* port = findControl<QLineEdit>(w, COptionsDlg::kProxyPort);
                  EXPECT_TRUE(host->isEnabled());
                  findControl<QCheckBox>(w, COptionsDlg::kUseProxy)->click();
                  EXPECT_FALSE(host->isEnabled());
                  EXPECT_FALSE(port->isEnabled());
                  EXPECT_EQ(host->text(), "proxy.lan");
                  EXPECT_EQ(port->text(), "3128");
                  findControl<QComboBox>(w, COptionsDlg::kLanguage)->setCurrentIndex(1);
                  findControl<QLineEdit>(w, COptionsDlg::kFreeDBEmail)->setText(" me@example.org ");
                  findControl<QPushButton>(w, 1)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    const SettingsRecord s = stored();
    EXPECT_EQ(s.freeDBEmail(), "me@example.org");
    EXPECT_EQ(s.useProxy(), 0);
    EXPECT_EQ(s.proxyServer(), "proxy.lan");
    EXPECT_EQ(s.proxyPort(), 3128);
    EXPECT_EQ(s.freeDBServer(), "freedb.test");
    EXPECT_EQ(m_settings.useProxy(), 0);
    EXPECT_EQ(m_chosenLanguage, 1);
}

TEST_F(Options, PortMustBeANumberInRange) {
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* port = findControl<QLineEdit>(w, COptionsDlg::kProxyPort);
                  port->setText("");
                  port->insert("80a80"); // a typed text with letters is not taken
                  EXPECT_EQ(port->text(), "");
                  port->insert("8080");
                  EXPECT_EQ(port->text(), "8080");
                  port->setText("0");
                  findControl<QPushButton>(w, 1)->click();
                  EXPECT_TRUE(w->isVisible());
                  port->setText("99999");
                  findControl<QPushButton>(w, 1)->click();
                  EXPECT_TRUE(w->isVisible());
                  port->setText("3129");
                  findControl<QPushButton>(w, 1)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    EXPECT_EQ(messageIds(), (std::vector<int>{cld::IDS_BAD_PROXY_PORT, cld::IDS_BAD_PROXY_PORT}));
    EXPECT_EQ(stored().proxyPort(), 3129);
}

TEST_F(Options, PickedServerIsUsedOnPort80WithTheStandardScript) {
    m_server.queueAnswer(kSites);
    m_server.queueAnswer(kSites);
    bool picked = false;
    bool cancelled = false;
    // First the list is cancelled (the server stays), then a server is picked.
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* options) {
                  whenModal(
                      [](QWidget* w) {
                          auto* s = qobject_cast<CFreeDBServersDlg*>(w);
                          return s && s->listDone();
                      },
                      [&](QWidget* w) {
                          cancelled = true;
                          findControl<QPushButton>(w, 2)->click();
                      });
                  findControl<QPushButton>(options, COptionsDlg::kBrowseServers)->click();
                  EXPECT_EQ(findControl<QLineEdit>(options, COptionsDlg::kFreeDBServer)->text(),
                            "freedb.test");
                  whenModal(
                      [](QWidget* w) {
                          auto* s = qobject_cast<CFreeDBServersDlg*>(w);
                          return s && s->listDone();
                      },
                      [&](QWidget* w) {
                          picked = true;
                          selectRow(findControl<QTreeWidget>(w, CFreeDBServersDlg::kList), 1);
                          findControl<QPushButton>(w, 1)->click();
                      });
                  findControl<QPushButton>(options, COptionsDlg::kBrowseServers)->click();
                  EXPECT_EQ(findControl<QLineEdit>(options, COptionsDlg::kFreeDBServer)->text(),
                            "mirror.example.net");
                  findControl<QPushButton>(options, 1)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    ASSERT_TRUE(cancelled);
    ASSERT_TRUE(picked);
    EXPECT_EQ(stored().freeDBServer(), "mirror.example.net");
    const CddbServer server = cddbServerFromSettings(m_settings);
    EXPECT_EQ(server.port, 80);
    EXPECT_EQ(server.scriptPath, "/~cddb/cddb.cgi");

    // The next query goes to that host and script, not to the port and path of its line.
    m_server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    CFreeDBQueryDlg query(m_settings, twoTrackDisc());
    openAndWait(query, &CFreeDBQueryDlg::queryDone);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].rfind("GET http://mirror.example.net/~cddb/cddb.cgi?cmd=cddb+query+"
                                "0a1b2c3d+2+150+15150+400&",
                                0),
              0u)
        << requests[2];
}

TEST_F(Options, OwnServerIsTypedAndCheckedWithTheAddress) {
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* server = findControl<QLineEdit>(w, COptionsDlg::kFreeDBServer);
                  auto* email = findControl<QLineEdit>(w, COptionsDlg::kFreeDBEmail);
                  auto* ok = findControl<QPushButton>(w, 1);
                  for (const char* bad : {"two words", "host:99999", "ftp://host/", "host:port"}) {
                      server->setText(bad);
                      ok->click();
                      EXPECT_TRUE(w->isVisible()) << bad;
                  }
                  server->setText(" http://cddb.lan:8080/cgi-bin/cddb.cgi ");
                  email->setText("not-an-address");
                  ok->click();
                  EXPECT_TRUE(w->isVisible());
                  email->setText("me@example.org");
                  ok->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    EXPECT_EQ(messageIds(),
              (std::vector<int>{cld::IDS_BAD_FREEDB_SERVER, cld::IDS_BAD_FREEDB_SERVER,
                                cld::IDS_BAD_FREEDB_SERVER, cld::IDS_BAD_FREEDB_SERVER,
                                cld::IDS_BAD_EMAIL}));
    const SettingsRecord s = stored();
    EXPECT_EQ(s.freeDBServer(), "http://cddb.lan:8080/cgi-bin/cddb.cgi");
    EXPECT_EQ(s.freeDBEmail(), "me@example.org");
    const CddbServer server = cddbServerFromSettings(m_settings);
    EXPECT_EQ(server.host, "cddb.lan");
    EXPECT_EQ(server.port, 8080);
    EXPECT_EQ(server.scriptPath, "/cgi-bin/cddb.cgi");
}

TEST_F(Options, BrowseAsksTheServerInTheField) {
    ASSERT_TRUE(m_settings.setCddbOptions("freedb.test", "", 0, 8080));
    m_server.queueAnswer(kSites);
    bool listed = false;
    whenModal(
        [](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
        [&](QWidget* options) {
            whenModal(
                [](QWidget* w) {
                    auto* s = qobject_cast<CFreeDBServersDlg*>(w);
                    return s && s->listDone();
                },
                [&](QWidget* w) {
                    listed = true;
                    EXPECT_EQ(
                        findControl<QTreeWidget>(w, CFreeDBServersDlg::kList)->topLevelItemCount(),
                        2);
                    findControl<QPushButton>(w, 2)->click();
                });
            findControl<QLineEdit>(options, COptionsDlg::kFreeDBServer)
                ->setText(QString::fromStdString("127.0.0.1:" + std::to_string(m_server.port())));
            findControl<QLineEdit>(options, COptionsDlg::kFreeDBEmail)->setText("list@example.org");
            findControl<QPushButton>(options, COptionsDlg::kBrowseServers)->click();
            findControl<QPushButton>(options, 2)->click();
        });
    runOptionsCommand(m_context, nullptr, languages());
    ASSERT_TRUE(listed);
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_server.requests()[0].rfind(
                  "GET /~cddb/cddb.cgi?cmd=sites&hello=list+example.org+Calderine+3.00&", 0),
              0u)
        << m_server.requests()[0];
    EXPECT_EQ(stored().freeDBServer(), "freedb.test"); // cancelled: nothing stored
}

// The number of files converted at once: "one per processor core" (0) on a first start,
// stored on OK only, and a stored count is shown when the dialog opens again.
TEST_F(Options, FilesConvertedAtOnceStartAtTheCoresAndAreStoredOnOk) {
    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* jobs = findControl<QSpinBox>(w, COptionsDlg::kParallelJobs);
                  ASSERT_NE(jobs, nullptr);
                  EXPECT_EQ(jobs->value(), 0);
                  EXPECT_EQ(jobs->text(), "One per processor core");
                  jobs->setValue(3);
                  findControl<QPushButton>(w, 2)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    EXPECT_EQ(stored().parallelJobs(), 0) << "Cancel stored the count";

    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  findControl<QSpinBox>(w, COptionsDlg::kParallelJobs)->setValue(3);
                  findControl<QPushButton>(w, 1)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    EXPECT_EQ(stored().parallelJobs(), 3);
    EXPECT_EQ(m_settings.parallelJobCount(), 3);

    whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
              [&](QWidget* w) {
                  auto* jobs = findControl<QSpinBox>(w, COptionsDlg::kParallelJobs);
                  EXPECT_EQ(jobs->value(), 3);
                  EXPECT_EQ(jobs->maximum(), SettingsRecord::kMaxParallelJobs);
                  findControl<QPushButton>(w, 1)->click();
              });
    runOptionsCommand(m_context, nullptr, languages());
    EXPECT_EQ(stored().parallelJobs(), 3);
}

// The AccurateRip look-up is set beside the other servers: on, with the public database, at
// first; Cancel writes nothing; an address the look-up cannot use is refused; OK stores
// both, and the dialog shows them again.
TEST_F(Options, AccurateRipLookupAndServerAreSetBesideTheOtherServers) {
    const std::string kMirror = "http://mirror.lan:8080/ar/";
    auto openOptions = [&](const std::function<void(QDialog&, QCheckBox&, QLineEdit&)>& act) {
        bool acted = false;
        whenModal([](QWidget* w) { return qobject_cast<COptionsDlg*>(w) != nullptr; },
                  [&](QWidget* w) {
                      auto* dialog = static_cast<QDialog*>(w);
                      auto* lookup = findControl<QCheckBox>(w, COptionsDlg::kAccurateRipLookup);
                      auto* server = findControl<QLineEdit>(w, COptionsDlg::kAccurateRipServer);
                      if (!lookup || !server) {
                          dialog->reject();
                          return;
                      }
                      acted = true;
                      act(*dialog, *lookup, *server);
                  });
        runOptionsCommand(m_context, nullptr, languages());
        return acted;
    };

    ASSERT_TRUE(openOptions([](QDialog& dialog, QCheckBox& lookup, QLineEdit& server) {
        EXPECT_TRUE(lookup.isChecked());
        EXPECT_EQ(lookup.text(), "Check rips with the &AccurateRip database");
        EXPECT_EQ(server.text(), "");
        EXPECT_EQ(server.placeholderText(), SettingsRecord::kDefaultAccurateRipServer);
        EXPECT_TRUE(server.isEnabled());
        // The server's label names the field for the mnemonic and for screen readers.
        QLabel* label = nullptr;
        for (QLabel* l : dialog.findChildren<QLabel*>())
            if (l->buddy() == &server)
                label = l;
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), "AccurateRip Ser&ver:");
        server.setText("http://elsewhere.lan/");
        lookup.click();
        EXPECT_FALSE(server.isEnabled());
        findControl<QPushButton>(&dialog, 2)->click();
    })) << "the options have no AccurateRip controls";
    EXPECT_EQ(m_settings.getProfileInt(SettingsRecord::kAccurateRip, "Lookup", -1), -1)
        << "Cancel wrote the switch";
    EXPECT_EQ(m_settings.getProfileString(SettingsRecord::kAccurateRip, "Server", "none"), "none")
        << "Cancel wrote the server";

    ASSERT_TRUE(openOptions([&](QDialog& dialog, QCheckBox& lookup, QLineEdit& server) {
        server.setText("ftp://mirror.lan/ar/");
        findControl<QPushButton>(&dialog, 1)->click();
        ASSERT_FALSE(messages().empty());
        EXPECT_EQ(messages().back().stringId, cld::IDS_BAD_ACCURATERIP_SERVER);
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        server.setText(QString::fromStdString(" " + kMirror + " "));
        lookup.setChecked(false);
        findControl<QPushButton>(&dialog, 1)->click();
    }));
    EXPECT_FALSE(m_settings.accurateRipLookup());
    EXPECT_EQ(m_settings.accurateRipServer(), kMirror);

    ASSERT_TRUE(openOptions([&](QDialog& dialog, QCheckBox& lookup, QLineEdit& server) {
        EXPECT_FALSE(lookup.isChecked());
        EXPECT_FALSE(server.isEnabled());
        EXPECT_EQ(server.text().toStdString(), kMirror);
        // Back to the public database.
        lookup.setChecked(true);
        server.clear();
        findControl<QPushButton>(&dialog, 1)->click();
    }));
    EXPECT_TRUE(m_settings.accurateRipLookup());
    EXPECT_EQ(m_settings.accurateRipServer(), SettingsRecord::kDefaultAccurateRipServer);
    EXPECT_EQ(m_settings.getProfileString(SettingsRecord::kAccurateRip, "Server", "none"), "");
}

// The read offset box starts with the drive the grabber used last, found as the grabber
// finds it; without one, with the drive of this session's grab, else the first.
TEST(OptionsDrive, StartsWithTheDriveTheGrabberUsedLast) {
    const std::vector<std::string> drives{"VENDOR Drive", "VENDOR Drive (1)", "OTHER Writer"};
    EXPECT_EQ(initialOffsetDrive(drives, "VENDOR Drive (1)", 0), 1);
    EXPECT_EQ(initialOffsetDrive(drives, "VENDOR Drive", 2), 0);
    EXPECT_EQ(initialOffsetDrive(drives, "other", 0), 2);
    EXPECT_EQ(initialOffsetDrive(drives, "", 2), 2);
    EXPECT_EQ(initialOffsetDrive(drives, "Gone Drive", 1), 1);
    EXPECT_EQ(initialOffsetDrive(drives, "Gone Drive", 7), 0);
    EXPECT_EQ(initialOffsetDrive({}, "VENDOR Drive", 0), 0);
}
