#include "CEditableListCtrl.h"
#include "CHyperLink.h"
#include "CImageButton.h"
#include "CPercentText.h"
#include "CProgressBar.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage solid(QSize size, QColor colour) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

TEST(ImageButton, TransparentColourClearsOnlyThatColour) {
    QImage img = solid({4, 2}, QColor(0xFF, 0x00, 0xFF));
    img.setPixel(1, 0, qRgb(0xFE, 0x00, 0xFF)); // near the key: must stay
    img.setPixel(2, 1, qRgb(10, 20, 30));
    const QImage out = CImageButton::applyTransparentColour(img, QColor(0xFF, 0x00, 0xFF));
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(out.pixel(3, 1)), 0);
    EXPECT_EQ(out.pixel(1, 0), qRgb(0xFE, 0x00, 0xFF));
    EXPECT_EQ(out.pixel(2, 1), qRgb(10, 20, 30));
    EXPECT_TRUE(CImageButton::applyTransparentColour(QImage(), Qt::magenta).isNull());
}

TEST(ImageButton, ShowsTheHoverImageOnlyWhileThePointerIsOver) {
    CImageButton b;
    const QImage hover = solid({10, 8}, Qt::red);
    const QImage normal = solid({10, 8}, Qt::blue);
    b.setImages(hover, normal);
    b.resize(10, 8);
    EXPECT_EQ(b.currentImage().pixelColor(0, 0), QColor(Qt::blue));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&b, &enter);
    EXPECT_TRUE(b.isHovered());
    EXPECT_EQ(b.currentImage().pixelColor(0, 0), QColor(Qt::red));
    // A disabled button never lights up.
    b.setEnabled(false);
    EXPECT_EQ(b.currentImage().pixelColor(0, 0), QColor(Qt::blue));
    b.setEnabled(true);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    EXPECT_FALSE(b.isHovered());
    EXPECT_EQ(b.currentImage().pixelColor(0, 0), QColor(Qt::blue));
}

TEST(ImageButton, OneImageIsShownAlwaysAndPaintingWithoutImagesWorks) {
    CImageButton b;
    b.setImages(solid({6, 6}, Qt::green), QImage());
    EXPECT_EQ(b.normalImage().pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(b.sizeHint(), QSize(6, 6));

    CImageButton bare;
    bare.setText(QStringLiteral("&Help"));
    bare.resize(40, 20);
    const QImage shot = bare.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(40, 20) * bare.devicePixelRatio());
}

TEST(ImageButton, ClickPlaysTheSoundOnlyWhenOneIsSet) {
    QStringList played;
    CImageButton::setSoundPlayer([&played](const QString& f) { played.append(f); });
    CImageButton b;
    b.resize(10, 10);
    QSignalSpy clicks(&b, &QAbstractButton::clicked);
    b.click();
    EXPECT_TRUE(played.isEmpty());
    b.setClickSound(QStringLiteral("/usr/share/sounds/click.wav"));
    b.click();
    EXPECT_EQ(clicks.count(), 2);
    ASSERT_EQ(played.size(), 1);
    EXPECT_EQ(played[0], QStringLiteral("/usr/share/sounds/click.wav"));
    CImageButton::setSoundPlayer(nullptr);
    b.click(); // no player: nothing happens, nothing breaks
    EXPECT_EQ(played.size(), 1);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

TEST(HyperLink, OpensWebAddressesThroughTheDesktop) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    CHyperLink link(QStringLiteral("gnudb.org"), QUrl(QStringLiteral("https://gnudb.org/")));
    QSignalSpy opened(&link, &CHyperLink::opened);
    EXPECT_FALSE(link.visited());
    link.resize(80, 20);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl(QStringLiteral("https://gnudb.org/")));
    EXPECT_TRUE(link.visited());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(link.font().underline());
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

TEST(HyperLink, RefusesAddressesThatAreNotWebOrMail) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    CHyperLink local(QStringLiteral("x"), QUrl(QStringLiteral("file:///bin/sh")));
    EXPECT_FALSE(local.open());
    CHyperLink empty;
    EXPECT_FALSE(empty.open());
    EXPECT_TRUE(catcher.urls.isEmpty());
    EXPECT_FALSE(local.visited());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST(PercentText, KeepsWithinRangeAndShowsThePercentSign) {
    CPercentText t;
    t.setPercent(42);
    EXPECT_EQ(t.text(), QStringLiteral("42%"));
    t.setPercent(-3);
    EXPECT_EQ(t.percent(), 0);
    t.setPercent(250);
    EXPECT_EQ(t.text(), QStringLiteral("100%"));
}

TEST(PercentText, PercentOfHandlesEmptyAndHugeTotals) {
    EXPECT_EQ(CPercentText::percentOf(5, 0), 0);
    EXPECT_EQ(CPercentText::percentOf(5, -1), 0);
    EXPECT_EQ(CPercentText::percentOf(-5, 10), 0);
    EXPECT_EQ(CPercentText::percentOf(1, 3), 33);
    EXPECT_EQ(CPercentText::percentOf(99, 100), 99);
    EXPECT_EQ(CPercentText::percentOf(200, 100), 100);
    const qint64 big = qint64(1) << 62;
    EXPECT_EQ(CPercentText::percentOf(big / 2, big), 50);
}

TEST(ProgressBar, ClampsPositionsAndFillsInProportion) {
    CProgressBar bar;
    bar.setRange(0, 200);
    bar.setPos(50);
    EXPECT_EQ(bar.filledWidth(400), 100);
    bar.setPos(500);
    EXPECT_EQ(bar.pos(), 200);
    EXPECT_EQ(bar.filledWidth(400), 400);
    bar.setPos(-10);
    EXPECT_EQ(bar.filledWidth(400), 0);
    // A range given the wrong way round is put right; the position stays inside.
    bar.setRange(100, 10);
    EXPECT_EQ(bar.lower(), 10);
    EXPECT_EQ(bar.upper(), 100);
    EXPECT_EQ(bar.pos(), 10);
}

TEST(ProgressBar, EmptyRangeAndStepping) {
    CProgressBar bar;
    bar.setRange(5, 5);
    bar.setPos(5);
    EXPECT_EQ(bar.filledWidth(300), 0);
    bar.setRange(0, 25);
    EXPECT_EQ(bar.pos(), 5); // a new range keeps the position when it fits
    bar.setPos(0);
    bar.setStep(10);
    bar.stepIt();
    bar.stepIt();
    EXPECT_EQ(bar.pos(), 20);
    bar.stepIt(); // past the end: back to the start
    EXPECT_EQ(bar.pos(), 0);
    bar.setRange(INT_MIN, INT_MAX);
    bar.setPos(0);
    EXPECT_NEAR(bar.filledWidth(1000), 500, 1);
    bar.resize(120, 16);
    EXPECT_FALSE(bar.grab().toImage().isNull());
}

class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        list.setColumns({QStringLiteral("Name"), QStringLiteral("Nr"), QStringLiteral("Length")});
        list.setCheckable(true);
        list.setColumnEditable(0, true);
        for (int i = 0; i < 3; ++i)
            list.insertRow(i, QStringLiteral("Track%1").arg(i + 1));
        list.setCellText(1, 2, QStringLiteral("3:12"));
        list.resize(400, 200);
        list.show();
    }
    CEditableListCtrl list;
};

TEST_F(ListFixture, RowsTextsAndChecks) {
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.cellText(1, 2), QStringLiteral("3:12"));
    EXPECT_TRUE(list.cellText(7, 0).isEmpty());
    list.setCellText(7, 0, QStringLiteral("x")); // no such row: ignored
    list.setCellText(0, 9, QStringLiteral("x")); // no such column: ignored
    list.setChecked(2, true);
    EXPECT_EQ(list.checkedRows(), QList<int>{2});
    list.setAllChecked(true);
    EXPECT_EQ(list.checkedRows().size(), 3);
    list.setAllChecked(false);
    EXPECT_TRUE(list.checkedRows().isEmpty());
    EXPECT_EQ(list.insertRow(99, QStringLiteral("Appended")), 3);
    EXPECT_EQ(list.cellText(3, 0), QStringLiteral("Appended"));
}

TEST_F(ListFixture, EditsInPlaceOnlyInEditableColumns) {
    QSignalSpy edited(&list, &CEditableListCtrl::cellEdited);
    EXPECT_FALSE(list.editCell(0, 1));
    EXPECT_FALSE(list.editCell(9, 0));
    ASSERT_TRUE(list.editCell(1, 0));
    auto* editor = list.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Intro\nPart 1"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(list.cellText(1, 0), QStringLiteral("Intro Part 1"));
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].toInt(), 1);
    EXPECT_EQ(edited[0][1].toInt(), 0);
    // Filling the list from code is not an edit.
    list.setCellText(2, 0, QStringLiteral("From CD-TEXT"));
    EXPECT_EQ(edited.count(), 1);
}

TEST_F(ListFixture, EscapeCancelsAndF2StartsAnEdit) {
    list.setCurrentItem(list.topLevelItem(2), 2);
    QTest::keyClick(&list, Qt::Key_F2);
    auto* editor = list.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Changed"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(list.cellText(2, 0), QStringLiteral("Track3"));
}

} // namespace

#include "controls_test.moc"
