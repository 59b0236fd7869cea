#include "AppResources.h"
#include "AppTestKit.h"
#include "CHelpViewer.h"
#include "CHyperLink.h"
#include "CImageButton.h"
#include "CLauncherButton.h"
#include "CLauncherDlg.h"
#include "GenreList.h"
#include "JobContext.h"
#include "Processes.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

const std::set<int> kAudioButtons{1005, 1015, 1016, 1006, 1007, 1008, 1009, 1010, 1011};
const std::set<int> kVideoButtons{1012, 1013};

class Launcher : public ::testing::Test {
protected:
    std::unique_ptr<CLauncherDlg> make(JobCommands commands = {}, QString helpFolder = {}) {
        CLauncherDlg::Context context;
        context.commands = std::move(commands);
        context.jobContext = &m_jobs;
        context.helpFolder =
            helpFolder.isNull() ? QString::fromStdString(cldtest::binDir().string()) : helpFolder;
        return std::make_unique<CLauncherDlg>(std::move(context));
    }
    // A command for every job, each counting its runs and keeping the files it was given.
    JobCommands everyJob() {
        JobCommands commands;
        for (const cld::LauncherButton& b : CLauncherDlg::buttonTable())
            commands.set(b.id, [this, id = b.id](JobContext& jobs, QWidget*) {
                ++m_runs[id];
                m_filesSeen[id] = jobs.initialFiles;
            });
        return commands;
    }
    // Shows the launcher as the active window, so that keys reach it.
    void showActive(CLauncherDlg& dlg) {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg, cldtest::kHangLimitMs));
    }
    // The control ids Tab (or Backtab) visits from the first button, once round.
    std::vector<int> tabWalk(CLauncherDlg& dlg, Qt::Key key) {
        dlg.button(1004)->setFocus(Qt::TabFocusReason);
        std::vector<int> seen;
        for (int i = 0; i < 40; ++i) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus)
                break;
            const int id = focus->property("cld_id").toInt();
            if (!seen.empty() && id == seen.front())
                break;
            seen.push_back(id);
            QTest::keyClick(focus, key);
        }
        return seen;
    }
    std::set<int> visiblePanelButtons(const CLauncherDlg& dlg) {
        std::set<int> shown;
        for (int id : kAudioButtons)
            if (!dlg.button(id)->isHidden())
                shown.insert(id);
        for (int id : kVideoButtons)
            if (!dlg.button(id)->isHidden())
                shown.insert(id);
        return shown;
    }

    cldtest::ProgramResourcesScope resources;
    cldtest::MessageScope messages;
    SettingsRecord m_settings;
    GenreList m_genres;
    JobContext m_jobs{m_settings, m_genres};
    std::map<int, int> m_runs;
    std::map<int, QStringList> m_filesSeen;
};

TEST_F(Launcher, CornerCentresTheWindowOnTheScreen) {
    EXPECT_EQ(CLauncherDlg::cornerFor({1024, 768}), QPoint(109, 136));
    EXPECT_EQ(CLauncherDlg::cornerFor({800, 600}), QPoint(-3, 52));
    EXPECT_EQ(CLauncherDlg::cornerFor({1920, 1080}), QPoint(557, 292));
    auto dlg = make();
    EXPECT_EQ(dlg->size(), QSize(805, 495));
    EXPECT_EQ(dlg->pos(), dlg->centredCorner());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Calderine 2002"));
    EXPECT_EQ(dlg->objectName(), QStringLiteral("102"));
}

TEST(LauncherPlace, CentredThenKeptInsideTheFreeAreaOfTheScreen) {
    // Room enough: the centring rule alone.
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1024, 768}, {0, 0, 1024, 768}), QPoint(109, 136));
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1920, 1080}, {0, 0, 1920, 1040}), QPoint(557, 292));
    // A screen smaller than the window: its top-left part (Help, Options) stays visible.
    EXPECT_EQ(CLauncherDlg::placeOnScreen({640, 480}, {0, 0, 640, 480}), QPoint(0, 0));
    EXPECT_EQ(CLauncherDlg::placeOnScreen({800, 600}, {0, 0, 800, 600}), QPoint(0, 52));
    EXPECT_EQ(CLauncherDlg::placeOnScreen({640, 480}, {0, 24, 640, 456}), QPoint(0, 24));
    // Panels and docks push the window into what they leave free.
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1024, 768}, {0, 0, 1024, 600}), QPoint(109, 105));
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1024, 768}, {200, 0, 824, 768}), QPoint(200, 136));
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1024, 768}, {0, 200, 1024, 568}), QPoint(109, 200));
    // A second screen to the right of the first.
    EXPECT_EQ(CLauncherDlg::placeOnScreen({1024, 768}, {1024, 0, 1024, 768}), QPoint(1024, 136));
    // No free area known: centred as it is.
    EXPECT_EQ(CLauncherDlg::placeOnScreen({640, 480}, QRect()), QPoint(-83, -8));
}

TEST_F(Launcher, RegionIsTheMaskAndTheMaskIsAShape) {
    const QImage mask = AppResources::bitmap(129);
    ASSERT_EQ(mask.size(), QSize(805, 495));
    EXPECT_EQ(mask.depth(), 1);
    const QRegion region = CLauncherDlg::regionFromMask(mask);
    auto dlg = make();
    EXPECT_EQ(dlg->mask(), region);
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 805, 495));
    // Every pixel agrees with the mask.
    const QImage rgb = mask.convertToFormat(QImage::Format_RGB32);
    int inside = 0;
    for (int y = 0; y < 495; y += 3) {
        for (int x = 0; x < 805; x += 3) {
            const bool white = (rgb.pixel(x, y) & 0xFFFFFF) != 0;
            ASSERT_EQ(region.contains(QPoint(x, y)), white) << x << "," << y;
            inside += white ? 1 : 0;
        }
    }
    // A real shape: neither empty nor the full rectangle; the corners are cut away.
    EXPECT_GT(inside, 805 * 495 / 9 / 2);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(804, 494)));
    EXPECT_TRUE(region.contains(QPoint(400, 250)));
    // Every button sits inside the window's shape.
    for (const auto& entry : CLauncherDlg::buttonTable())
        EXPECT_TRUE(region.contains(QRect(entry.x, entry.y, entry.width, entry.height).center()))
            << entry.id;
}

TEST_F(Launcher, RegionFromMaskHandlesRunsAndEmptyMasks) {
    QImage m(6, 2, QImage::Format_RGB32);
    m.fill(Qt::black);
    m.setPixel(1, 0, qRgb(255, 255, 255));
    m.setPixel(2, 0, qRgb(255, 255, 255));
    m.setPixel(5, 1, qRgb(255, 255, 255));
    const QRegion r = CLauncherDlg::regionFromMask(m);
    EXPECT_EQ(r, QRegion(1, 0, 2, 1) + QRegion(5, 1, 1, 1));
    EXPECT_TRUE(CLauncherDlg::regionFromMask(QImage()).isEmpty());
}

TEST_F(Launcher, ButtonsHaveTheirPlacesTooltipsAndPictures) {
    const std::map<int, QString> tips{
        {1, "Exit from Calderine."},
        {1000, "Exit from Calderine."},
        {1002, "Minimize Calderine."},
        {1061, "About Calderine..."},
        {1004, "Video Options"},
        {1003, "Audio Options"},
        {57670, "Help"},
        {57671, "Change Options."},
        {1005, "Convert CD-Audio Tracks to .WAV (Windows PCM WAVE) files."},
        {1015, "Convert CD-Audio Tracks to .WMA (Windows Media Audio V8) files."},
        {1016, "Convert CD-Audio Tracks to .MP3 files."},
        {1006, "Convert/Encode from Line-In or Microphone to WMA (Windows Media Audio V8) file."},
        {1007, "Convert/Encode from Line-In or Microphone to MP3 audio file."},
        {1008, "Convert / Encode a .WAV file or an entire folder with .WAV files to WMA (Windows "
               "Media Audio V8) file(s)."},
        {1009, "Convert / Encode a .WAV file or an entire folder with .WAV files to .MP3 file(s)."},
        {1010, "Convert .WMA (Windows Media Audio) file(s) to .WAV (Windows PCM WAVE) file(s)."},
        {1011, "Convert .MP3 file(s) to .WAV (Windows PCM WAVE) file(s)."},
        {1012, "Convert from .AVI or .MPG video file(s) to .WMV (Windows Media Video V8) file(s)."},
        {1013, "Capture to WMV (Windows Media Video V8) using a video capture device or screen "
               "caputure."},
    };
    const std::map<int, QRect> places{
        {1, {690, 410, 70, 55}},      {1000, {760, 10, 23, 22}},   {1002, {735, 10, 23, 22}},
        {1061, {705, 8, 26, 26}},     {1004, {19, 105, 164, 131}}, {1003, {12, 242, 132, 105}},
        {57670, {12, 428, 47, 51}},   {57671, {32, 352, 68, 73}},  {1005, {234, 164, 148, 92}},
        {1015, {393, 166, 148, 92}},  {1016, {547, 163, 145, 89}}, {1006, {200, 250, 157, 95}},
        {1007, {359, 250, 157, 95}},  {1008, {520, 256, 161, 93}}, {1009, {175, 348, 161, 93}},
        {1010, {330, 348, 162, 88}},  {1011, {500, 352, 158, 85}}, {1012, {280, 210, 160, 159}},
        {1013, {470, 219, 151, 150}},
    };
    auto dlg = make(everyJob());
    ASSERT_EQ(tips.size(), 19u);
    for (const auto& [id, tip] : tips) {
        CImageButton* b = dlg->button(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->toolTip(), tip) << id;
        EXPECT_EQ(b->geometry(), places.at(id)) << id;
        EXPECT_EQ(b->property("cld_id").toInt(), id);
        EXPECT_EQ(dlg->findChild<CImageButton*>(QString::number(id)), b);
        // Every button has its pictures, at the button's size.
        EXPECT_FALSE(b->normalImage().isNull()) << id;
        EXPECT_EQ(b->normalImage().size(), places.at(id).size()) << id;
    }
    // Bitmap buttons lose their magenta: the corner of a rounded tile is see-through.
    EXPECT_EQ(qAlpha(dlg->button(1005)->normalImage().pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(dlg->button(1005)->normalImage().pixel(74, 46)), 255);
}

TEST_F(Launcher, SwitchingPanelsAndBackRestoresExactlyTheNineAudioButtons) {
    auto dlg = make();
    EXPECT_EQ(dlg->panel(), CLauncherDlg::Panel::Audio);
    EXPECT_EQ(visiblePanelButtons(*dlg), kAudioButtons);
    const QImage audioNormal = dlg->button(1003)->normalImage();

    dlg->button(1004)->click();
    EXPECT_EQ(dlg->panel(), CLauncherDlg::Panel::Video);
    EXPECT_EQ(visiblePanelButtons(*dlg), kVideoButtons);
    // The video selector now looks pressed in both states; audio is back to normal.
    EXPECT_EQ(dlg->button(1004)->normalImage(), dlg->button(1004)->hoverImage());
    EXPECT_NE(dlg->button(1003)->normalImage(), audioNormal);

    dlg->button(1003)->click();
    EXPECT_EQ(visiblePanelButtons(*dlg), kAudioButtons);
    EXPECT_EQ(dlg->button(1003)->normalImage(), audioNormal);
    EXPECT_EQ(dlg->button(1003)->normalImage(), dlg->button(1003)->hoverImage());
    EXPECT_NE(dlg->button(1004)->normalImage(), dlg->button(1004)->hoverImage());
    for (int id : kAudioButtons)
        EXPECT_FALSE(dlg->button(id)->toolTip().isEmpty()) << id;
}

TEST_F(Launcher, JobButtonsRunTheirCommandsAndStayDisabledWithoutOne) {
    JobCommands commands;
    int ran = 0;
    QWidget* parentSeen = nullptr;
    commands.set(1016, [&](JobContext& jobs, QWidget* launcher) {
        EXPECT_EQ(&jobs, &m_jobs);
        ++ran;
        parentSeen = launcher;
    });
    auto dlg = make(std::move(commands));
    EXPECT_TRUE(dlg->button(1016)->isEnabled());
    for (int id : {1005, 1015, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 57671})
        EXPECT_FALSE(dlg->button(id)->isEnabled()) << id;
    // The frame's own buttons always work.
    for (int id : {1, 1000, 1002, 1061, 1003, 1004, 57670})
        EXPECT_TRUE(dlg->button(id)->isEnabled()) << id;
    dlg->button(1016)->click();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(parentSeen, dlg.get());
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(Launcher, ExitAndCloseButtonsEndTheLauncher) {
    {
        auto dlg = make();
        QTimer::singleShot(0, dlg.get(), [&] { dlg->button(1)->click(); });
        EXPECT_EQ(dlg->exec(), QDialog::Accepted);
    }
    {
        auto dlg = make();
        QTimer::singleShot(0, dlg.get(), [&] { dlg->button(1000)->click(); });
        dlg->exec();
        EXPECT_FALSE(dlg->isVisible());
    }
}

TEST_F(Launcher, AboutBoxOpensFromTheButtonAndTheWindowMenu) {
    auto dlg = make();
    dlg->show();
    // The window menu ends with a separator and the About item.
    const auto actions = dlg->systemMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QStringLiteral("&About Calderine..."));
    EXPECT_EQ(actions.back()->data().toInt(), 16);

    QStringList seen;
    auto closeAbout = [&seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen.append(modal->objectName());
        const auto labels = modal->findChildren<QLabel*>();
        for (QLabel* l : labels)
            seen.append(l->text());
        static_cast<QDialog*>(modal)->accept();
    };
    QTimer::singleShot(0, dlg.get(), closeAbout);
    dlg->button(1061)->click();
    QTimer::singleShot(0, dlg.get(), closeAbout);
    actions.back()->trigger();
    QTimer::singleShot(0, dlg.get(), closeAbout);
    EXPECT_TRUE(dlg->systemCommand(31));
    EXPECT_FALSE(dlg->systemCommand(32));
    EXPECT_EQ(seen.count(QStringLiteral("173")), 3);
    EXPECT_TRUE(seen.contains(QStringLiteral("Calderine 2002, Version 4.05a")));
    EXPECT_TRUE(seen.filter(QStringLiteral("LAME")).size() >= 3);
}

TEST_F(Launcher, HelpOpensTheContentsPageOfTheHelpFile) {
    auto dlg = make();
    dlg->button(57670)->click();
    CHelpViewer* viewer = dlg->helpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("index.html"));
    EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("User Guide")));
    // Links lead to the job pages inside the same file.
    viewer->browser()->setSource(QUrl(QStringLiteral("cldhelp:/cd.html")));
    EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("Jitter Correction")));
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(Launcher, MissingOrDamagedHelpIsReportedWithTheFileName) {
    cldtest::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    auto dlg = make({}, folder);
    dlg->openHelp();
    std::ofstream(dir.file("cld.chm")) << "garbage, not a help file";
    dlg->openHelp();
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0].stringId, cld::IDS_HELP_MISSING);
    EXPECT_EQ(messages.messages()[0].icon, MessageIcon::Error);
    EXPECT_TRUE(messages.messages()[0].text.contains(folder + QStringLiteral("/cld.chm")));
    EXPECT_EQ(messages.messages()[1].stringId, cld::IDS_HELP_BROKEN);
    EXPECT_EQ(dlg->helpViewer(), nullptr);
}

TEST_F(Launcher, MissingPicturesLeaveAWorkingLauncher) {
    AppResources::setSource(nullptr); // nothing at all: no strings, no pictures
    JobCommands commands;
    int ran = 0;
    commands.set(1005, [&ran](JobContext&, QWidget*) { ++ran; });
    auto dlg = make(std::move(commands));
    EXPECT_TRUE(dlg->mask().isEmpty());
    EXPECT_TRUE(dlg->button(1005)->normalImage().isNull());
    dlg->button(1005)->click();
    EXPECT_EQ(ran, 1);
    dlg->resize(805, 495);
    EXPECT_FALSE(dlg->grab().isNull());
}

TEST_F(Launcher, TabWalksEveryShownButtonInReadingOrderAndBacktabReturns) {
    auto dlg = make(everyJob());
    showActive(*dlg);
    const std::vector<int> audio{1004, 1003, 1005,  1015,  1016, 1006, 1007, 1008, 1009,
                                 1010, 1011, 57671, 57670, 1061, 1002, 1000, 1};
    EXPECT_EQ(tabWalk(*dlg, Qt::Key_Tab), audio);
    std::vector<int> back{1004};
    back.insert(back.end(), audio.rbegin(), audio.rend() - 1);
    EXPECT_EQ(tabWalk(*dlg, Qt::Key_Backtab), back);

    dlg->showVideoPanel();
    const std::vector<int> video{1004, 1003, 1012, 1013, 57671, 57670, 1061, 1002, 1000, 1};
    EXPECT_EQ(tabWalk(*dlg, Qt::Key_Tab), video);

    // Jobs that cannot run are left out of the walk, as they cannot be pressed.
    auto bare = make();
    showActive(*bare);
    EXPECT_EQ(tabWalk(*bare, Qt::Key_Tab),
              (std::vector<int>{1004, 1003, 57670, 1061, 1002, 1000, 1}));
}

TEST_F(Launcher, ArrowsMoveToTheNearestButtonThatWay) {
    auto dlg = make(everyJob());
    showActive(*dlg);
    dlg->button(1005)->setFocus(Qt::TabFocusReason);
    const std::vector<std::pair<Qt::Key, int>> steps{
        {Qt::Key_Right, 1015}, {Qt::Key_Right, 1016}, {Qt::Key_Down, 1008}, {Qt::Key_Left, 1007},
        {Qt::Key_Down, 1010},  {Qt::Key_Left, 1009},  {Qt::Key_Up, 1006},   {Qt::Key_Up, 1005},
    };
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(QApplication::focusWidget(), key);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->property("cld_id").toInt(), expected) << key;
    }
    // Nothing further that way: the focus stays.
    dlg->button(1000)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg->button(1000), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), dlg->button(1000));

    // The rule alone: ahead only, sideways offsets count double, the button itself never.
    const std::vector<std::pair<int, QRect>> places{
        {1, {100, 0, 10, 10}}, {2, {50, 20, 10, 10}}, {3, {0, 100, 10, 10}}, {4, {0, 0, 10, 10}}};
    EXPECT_EQ(CLauncherDlg::neighbour(places, {0, 0, 10, 10}, Qt::Key_Right), 2);
    EXPECT_EQ(CLauncherDlg::neighbour(places, {0, 0, 10, 10}, Qt::Key_Down), 3);
    EXPECT_EQ(CLauncherDlg::neighbour(places, {0, 0, 10, 10}, Qt::Key_Left), -1);
    EXPECT_EQ(CLauncherDlg::neighbour(places, {0, 0, 10, 10}, Qt::Key_Up), -1);
    EXPECT_EQ(CLauncherDlg::neighbour(places, {0, 0, 10, 10}, Qt::Key_A), -1);
}

TEST_F(Launcher, ReturnAndSpacePressTheFocusedButtonF1OpensHelpEscapeStillCloses) {
    auto dlg = make(everyJob());
    showActive(*dlg);
    dlg->button(1011)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg->button(1011), Qt::Key_Return);
    QTest::keyClick(dlg->button(1011), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(dlg->button(1011), Qt::Key_Space);
    EXPECT_EQ(m_runs[1011], 3);
    EXPECT_TRUE(m_filesSeen[1011].isEmpty());
    dlg->button(1004)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg->button(1004), Qt::Key_Return);
    EXPECT_EQ(dlg->panel(), CLauncherDlg::Panel::Video);

    EXPECT_EQ(dlg->helpViewer(), nullptr);
    QTest::keyClick(dlg->button(1004), Qt::Key_F1);
    ASSERT_NE(dlg->helpViewer(), nullptr);
    EXPECT_EQ(dlg->helpViewer()->currentPage(), QStringLiteral("index.html"));
    EXPECT_TRUE(messages.messages().empty());

    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get(), cldtest::kHangLimitMs));
    dlg->button(1004)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg->button(1004), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(Launcher, AJobOpenedFromTheCommandLineGetsItsFilesForThatRunOnly) {
    auto dlg = make(everyJob());
    const QStringList files{QStringLiteral("/music/a.mp3"), QStringLiteral("/music/b.mp3")};
    dlg->openJob(1011, files);
    EXPECT_EQ(m_runs[1011], 1);
    EXPECT_EQ(m_filesSeen[1011], files);
    EXPECT_TRUE(m_jobs.initialFiles.isEmpty());
    dlg->button(1011)->click();
    EXPECT_TRUE(m_filesSeen[1011].isEmpty());
    // A job without a command says it is not available, whatever the files.
    auto bare = make();
    bare->openJob(1011, files);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, cld::IDS_JOB_UNAVAILABLE);
}

// What a screen reader finds: every control of the launcher and of the About box has a
// name in plain words (no "&"), and a job that cannot run says why.
TEST_F(Launcher, EveryControlHasAnAccessibleNameAndDisabledJobsSayWhy) {
    JobCommands some;
    some.set(1016, [](JobContext&, QWidget*) {});
    auto dlg = make(std::move(some));
    showActive(*dlg);
    auto checkTree = [](QWidget* root) -> int {
        int checked = 0;
        QList<QWidget*> widgets = root->findChildren<QWidget*>();
        widgets.prepend(root);
        for (QWidget* w : widgets) {
            if (!w->isVisibleTo(root) && w != root)
                continue;
            // Controls: what takes the focus, is pressed or is read; not the containers.
            const bool control = w == root || w->focusPolicy() != Qt::NoFocus ||
                                 qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w);
            if (!control || qobject_cast<QMenu*>(w))
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            EXPECT_NE(a, nullptr) << w->objectName().toStdString();
            if (!a)
                continue;
            const QString name = a->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty())
                << w->metaObject()->className() << " " << w->objectName().toStdString();
            EXPECT_FALSE(name.contains(QLatin1Char('&')) && !name.contains(QStringLiteral("& ")))
                << name.toStdString();
            ++checked;
        }
        return checked;
    };
    // The launcher and its 17 buttons on the audio panel.
    EXPECT_GE(checkTree(dlg.get()), 18);
    // Each button is called by its caption and described by its tooltip; the two exit
    // buttons and the capture tile can be told apart.
    EXPECT_EQ(dlg->button(1061)->accessibleName(), QStringLiteral("About Calderine"));
    EXPECT_EQ(dlg->button(1005)->accessibleName(), QStringLiteral("CD-Audio to WAV"));
    EXPECT_EQ(dlg->button(1005)->accessibleDescription().left(16),
              QStringLiteral("Convert CD-Audio"));
    EXPECT_EQ(dlg->button(1)->accessibleName(), QStringLiteral("Exit"));
    EXPECT_EQ(dlg->button(1000)->accessibleName(), QStringLiteral("Close"));
    EXPECT_EQ(dlg->button(1000)->accessibleDescription(), QStringLiteral("Exit from Calderine."));
    EXPECT_EQ(dlg->button(1013)->accessibleName(), QStringLiteral("Capture to WMV"));
    EXPECT_FALSE(dlg->button(1013)->accessibleDescription().contains(QStringLiteral("AVI/MPG")));
    const QString why = AppResources::string(cld::IDS_JOB_UNAVAILABLE);
    for (int id : {1005, 1015, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 57671}) {
        EXPECT_TRUE(dlg->button(id)->toolTip().endsWith(QStringLiteral("\n") + why)) << id;
        EXPECT_TRUE(dlg->button(id)->accessibleDescription().contains(why)) << id;
    }
    for (int id : {1016, 1, 1000, 1061, 57670}) {
        EXPECT_FALSE(dlg->button(id)->toolTip().contains(why)) << id;
        EXPECT_FALSE(dlg->button(id)->accessibleDescription().contains(why)) << id;
    }
    dlg->showVideoPanel();
    EXPECT_GE(checkTree(dlg.get()), 11);

    // The About box opens with the focus on OK, not on the link, and the link shows the
    // address it opens.
    bool checkedAbout = false;
    QTimer::singleShot(0, dlg.get(), [&] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_GE(checkTree(about), 5);
        auto* ok = about->findChild<QPushButton*>(QStringLiteral("1"));
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(about->focusWidget(), ok);
        EXPECT_TRUE(ok->isDefault());
        auto* link = about->findChild<CHyperLink*>(QStringLiteral("lamelink"));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text(), link->url().toString());
        checkedAbout = true;
        about->accept();
    });
    dlg->openAbout();
    EXPECT_TRUE(checkedAbout);
}

TEST_F(Launcher, TheFocusRingIsDrawnInTheSkinsAccentOnlyWhileFocused) {
    auto dlg = make(everyJob());
    showActive(*dlg);
    CImageButton* b = dlg->button(1009);
    auto accentPixels = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y).rgb() == CLauncherButton::focusColour().rgb())
                    ++n;
        return n;
    };
    dlg->button(1005)->setFocus(Qt::TabFocusReason);
    const QImage unfocused = b->grab().toImage();
    b->setFocus(Qt::TabFocusReason);
    const QImage focused = b->grab().toImage();
    EXPECT_EQ(accentPixels(unfocused), 0);
    // A ring all round: at least the length of the button's outline.
    EXPECT_GE(accentPixels(focused), b->width() + b->height());
}

TEST_F(Launcher, CaptionsDrawnWithoutPicturesAreLightOnTheDarkSkin) {
    AppResources::setSource(nullptr);
    JobCommands one;
    one.set(1005, [](JobContext&, QWidget*) {});
    auto dlg = make(std::move(one));
    dlg->resize(805, 495);
    const QImage shot = dlg->grab().toImage();
    auto lightness = [&shot](QRect area) {
        int best = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                best = std::max(best, shot.pixelColor(x, y).lightness());
        return best;
    };
    const int stage = shot.pixelColor(400, 5).lightness();
    EXPECT_LT(stage, 60);
    // An enabled job's caption is bright; a disabled one still stands out from the stage.
    EXPECT_GT(lightness(dlg->button(1005)->geometry()), 180);
    EXPECT_GT(lightness(dlg->button(1015)->geometry()), stage + 70);
}

// High-DPI screens get every picture drawn with twice the pixels: the same picture (it
// matches the ordinary one when scaled down), shown at its place's size.
TEST_F(Launcher, EveryPictureComesWithTwiceThePixelsForHighDpiScreens) {
    auto compare = [](const QImage& ordinary, const QImage& sharp) {
        const QImage a = ordinary.convertToFormat(QImage::Format_ARGB32);
        const QImage b =
            sharp.scaled(ordinary.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        double diff = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                diff += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                        std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
            }
        return diff / (4.0 * a.width() * a.height());
    };
    using Kind = cld::ImageKind;
    std::vector<std::pair<Kind, int>> pictures{{Kind::Bitmap, cld::IDB_LAUNCHER_BACKGROUND},
                                               {Kind::Png, cld::IDPNG_AUDIO_PANEL},
                                               {Kind::Png, cld::IDPNG_AUDIO_PANEL_LIT},
                                               {Kind::Png, cld::IDPNG_VIDEO_PANEL},
                                               {Kind::Png, cld::IDPNG_VIDEO_PANEL_LIT}};
    for (const cld::LauncherButton& b : CLauncherDlg::buttonTable())
        for (int id : {b.hoverImage, b.normalImage})
            if (b.kind != Kind::None && id != 0)
                pictures.emplace_back(b.kind, id);
    for (const auto& [kind, id] : pictures) {
        const QImage ordinary = CLauncherDlg::picture(kind, id, 1.0);
        const QImage sharp = CLauncherDlg::picture(kind, id, 2.0);
        ASSERT_FALSE(ordinary.isNull()) << id;
        ASSERT_FALSE(sharp.isNull()) << id;
        EXPECT_EQ(ordinary.devicePixelRatio(), 1.0) << id;
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(sharp.size(), ordinary.size() * 2) << id;
        EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(ordinary.size())) << id;
        EXPECT_LT(compare(ordinary, sharp), 12.0) << id;
    }
    // A resource source without them (a language library, say): the ordinary pictures.
    AppResources::setSource(nullptr);
    EXPECT_TRUE(CLauncherDlg::picture(Kind::Png, cld::IDPNG_MIC2MP3, 2.0).isNull());
}

} // namespace
