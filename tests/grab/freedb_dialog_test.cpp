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

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace cldtest;
using cld::findControl;
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
    }

    static CFreeDBQueryDlg::Disc twoTrackDisc() {
        return {0x0a1b2c3d, {"0:00.00", "3:20.00"}, 400};
    }

    // Shows a dialog and lets its opening command run to its end.
    template <class Dlg> void openAndWait(Dlg& dlg, bool (Dlg::*done)() const) {
        dlg.show();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
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
    auto* link = findControl<CHyperLink>(&dlg, CFreeDBQueryDlg::kLink);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "CD Database Provided by gnudb.org");
    EXPECT_EQ(link->url().host(), "gnudb.org");
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
    m_server.queue({{}, 2600});
    m_server.queue({{}, 2600});
    CFreeDBQueryDlg dlg(m_settings, twoTrackDisc());
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(messageIds(), std::vector<int>{145});
    EXPECT_EQ(messages().back().icon, MessageIcon::Error);
    EXPECT_TRUE(messages().back().text.startsWith("Error: Cannot connect to gnudb.org"));
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
    // OK without a selection returns no host.
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.chosenHost(), "");
}

TEST_F(FreeDB, ServerListThatFailsTwiceShows145AndStaysEmpty) {
    m_server.queueAnswer(CddbTestServer::httpAnswer("500 Command syntax error\r\n", false));
    m_server.queueAnswer("garbage without a header");
    CFreeDBServersDlg dlg(m_settings);
    openAndWait(dlg, &CFreeDBServersDlg::listDone);
    EXPECT_EQ(messageIds(), std::vector<int>{145});
    EXPECT_EQ(messages().back().icon, MessageIcon::None);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(findControl<QTreeWidget>(&dlg, CFreeDBServersDlg::kList)->topLevelItemCount(), 0);
    EXPECT_EQ(m_server.requests().size(), 2u);
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
                  EXPECT_TRUE(findControl<QLineEdit>(w, COptionsDlg::kFreeDBServer)->isReadOnly());
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
    EXPECT_EQ(messageIds(),
              (std::vector<int>{COptionsDlg::kBadPortStringId, COptionsDlg::kBadPortStringId}));
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
