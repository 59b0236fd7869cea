// What a user sees of the grabber from the first click: every column of the track list,
// a word when a name is refused, and the fields of the disc listed (not of the one before).
#include "CCDGrabDlg.h"
#include "CEditableListCtrl.h"
#include "CdCacheDatabase.h"
#include "ControlTag.h"
#include "DialogPolish.h"
#include "GrabDialogKit.h"
#include "StringIds.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>

using namespace cldtest;
using cld::findControl;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

DiscSpec plainDisc(int tracks) {
    DiscSpec disc;
    for (int i = 0; i < tracks; ++i)
        disc.tracks.push_back({Content::Music, 75 * 3 + i * 40, {}, {}, 0, 0});
    return disc;
}

} // namespace

class GrabDialogFit : public GrabDialogTest {};

TEST_F(GrabDialogFit, EveryColumnShowsInTheListAsOpened) {
    startDrives({plainDisc(2)});
    CCDGrabDlg dlg(m_context, false);
    dlg.show();
    QCoreApplication::processEvents();
    CEditableListCtrl* list = dlg.trackList();
    int right = 0;
    for (int c = 0; c < list->columnCount(); ++c) {
        EXPECT_GT(list->columnWidth(c), 20) << c;
        right = std::max(right, list->header()->sectionViewportPosition(c) + list->columnWidth(c));
    }
    EXPECT_LE(right, list->viewport()->width());
    // Still so when the dialog is made narrower.
    dlg.resize(dlg.minimumSizeHint().width(), dlg.height());
    QCoreApplication::processEvents();
    const int last = list->columnCount() - 1;
    EXPECT_LE(list->header()->sectionViewportPosition(last) + list->columnWidth(last),
              list->viewport()->width() + 1);
}

TEST_F(GrabDialogFit, ATooLongNameIsRefusedWithAWord) {
    startDrives({plainDisc(2)});
    CCDGrabDlg dlg(m_context, false);
    const QString before = dlg.trackList()->cellText(0, 0);
    dlg.trackList()->topLevelItem(0)->setText(0, QString(51, QLatin1Char('n')));
    EXPECT_EQ(dlg.trackList()->cellText(0, 0), before);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].stringId, cld::IDS_TRACK_NAME_TOO_LONG);
    EXPECT_TRUE(messages()[0].text.contains(QStringLiteral("50")))
        << messages()[0].text.toStdString();
    // Fifty characters are fine and say nothing.
    dlg.trackList()->topLevelItem(1)->setText(0, QString(50, QLatin1Char('n')));
    EXPECT_EQ(dlg.trackList()->cellText(1, 0), QString(50, QLatin1Char('n')));
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(GrabDialogFit, TheYearOfThePreviousDiscGoesWithIt) {
    startDrives({plainDisc(2), plainDisc(3)});
    openCache();
    std::uint32_t firstId = 0;
    {
        CCDGrabDlg probe(m_context, false);
        firstId = probe.discId();
    }
    CdInfoRecord record;
    record.discId = firstId;
    record.album = "Known";
    record.artist = "Someone";
    record.genre = "Rock";
    record.year = 1994;
    record.trackTitles = {"One", "Two"};
    ASSERT_TRUE(m_cache.store(record)) << m_cache.lastError();

    CCDGrabDlg dlg(m_context, false);
    auto* year = findControl<QLineEdit>(&dlg, CCDGrabDlg::kYear);
    auto* drive = findControl<QComboBox>(&dlg, CCDGrabDlg::kDrive);
    ASSERT_EQ(drive->count(), 2);
    drive->setCurrentIndex(0);
    EXPECT_EQ(year->text(), QStringLiteral("1994"));
    // The second drive's disc is unknown: it has no year, as it has no names.
    drive->setCurrentIndex(1);
    EXPECT_NE(dlg.discId(), firstId);
    EXPECT_EQ(year->text(), QString());
    EXPECT_EQ(findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->text(), QStringLiteral("Unknown"));
}
