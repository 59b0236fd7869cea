#include "AppResources.h"
#include "AppTestKit.h"
#include "CSplashThread.h"
#include "TempDir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <fstream>
#include <gtest/gtest.h>

namespace {

QImage logoOf(int w, int h, int alpha) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(qRgba(200, 100, 50, alpha));
    return img;
}

TEST(SplashLogo, KeepsALogoThatFitsAndHalvesItsAlpha) {
    const QImage logo = CSplashThread::prepareLogo(logoOf(150, 106, 200), {600, 424});
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(150, 106));
    const QRgb px = logo.pixel(10, 10);
    EXPECT_EQ(qAlpha(px), 100);
    EXPECT_EQ(qRed(px), 200);
    EXPECT_EQ(qGreen(px), 100);
    EXPECT_EQ(qBlue(px), 50);
    // Odd alphas round down; full transparency stays.
    EXPECT_EQ(qAlpha(CSplashThread::prepareLogo(logoOf(2, 2, 255), {600, 424}).pixel(0, 0)), 127);
    EXPECT_EQ(qAlpha(CSplashThread::prepareLogo(logoOf(2, 2, 0), {600, 424}).pixel(0, 0)), 0);
}

TEST(SplashLogo, DropsALogoTooWideOrTooHigh) {
    EXPECT_TRUE(CSplashThread::prepareLogo(logoOf(151, 106, 255), {600, 424}).isNull());
    EXPECT_TRUE(CSplashThread::prepareLogo(logoOf(150, 142, 255), {600, 424}).isNull());
    EXPECT_FALSE(CSplashThread::prepareLogo(logoOf(150, 141, 255), {600, 424}).isNull());
    EXPECT_TRUE(CSplashThread::prepareLogo(QImage(), {600, 424}).isNull());
}

class Splash : public ::testing::Test {
protected:
    // A splash over the real splash picture, with `logo` saved as the folder's oem.png.
    std::unique_ptr<CSplashThread> start(const QImage& logo) {
        if (!logo.isNull())
            logo.save(QString::fromStdString(dir.file("oem.png").string()));
        auto splash = std::make_unique<CSplashThread>(QString::fromStdString(dir.path().string()));
        splash->SetImage(QStringLiteral("PNG"), 172);
        EXPECT_TRUE(splash->Start());
        return splash;
    }
    cldtest::ProgramResourcesScope resources;
    cldtest::TempDir dir;
};

TEST_F(Splash, LogoOfTheProgramFolderIsDrawnAtItsCornerOnePixelIn) {
    auto splash = start(logoOf(150, 106, 255));
    CSplashWnd* w = splash->window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowSize(), QSize(600, 424));
    ASSERT_TRUE(w->hasLogo());
    EXPECT_EQ(w->logoDrawPosition(), QPoint(449, 317));
    // On screen: the blended logo colour at the logo's first pixel, the picture just
    // outside it.
    const QImage shot = w->grab().toImage();
    const QImage picture = AppResources::png(172);
    QImage expected = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&expected);
        p.drawImage(QPoint(449, 317),
                    CSplashThread::prepareLogo(logoOf(150, 106, 255), {600, 424}));
    }
    EXPECT_EQ(shot.pixel(449, 317), expected.pixel(449, 317));
    EXPECT_EQ(shot.pixel(448, 316), expected.pixel(448, 316));
    EXPECT_NE(shot.pixel(449, 317), picture.pixel(449, 317));
}

TEST_F(Splash, TooLargeLogoIsDroppedWithoutAMessage) {
    cldtest::MessageScope messages;
    auto splash = start(logoOf(151, 106, 255));
    EXPECT_FALSE(splash->window()->hasLogo());
    EXPECT_TRUE(messages.messages().empty());
    // A file that is no picture at all is no logo either.
    std::ofstream(dir.file("oem.png")) << "not a png";
    auto second = std::make_unique<CSplashThread>(QString::fromStdString(dir.path().string()));
    second->SetImage(QStringLiteral("PNG"), 172);
    ASSERT_TRUE(second->Start());
    EXPECT_FALSE(second->window()->hasLogo());
}

TEST_F(Splash, IgnoresCloseRequestsUntilItLosesTheFocus) {
    auto splash = start(QImage());
    CSplashWnd* w = splash->window();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible());
    // Alt+F4 or any other close request: refused.
    EXPECT_FALSE(w->close());
    QCloseEvent request;
    QApplication::sendEvent(w, &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_TRUE(splash->isRunning());

    // Another window takes the focus: the splash goes by itself.
    QApplication::setActiveWindow(w);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(splash->isRunning());
    splash->Close(); // after it has gone: nothing happens
    EXPECT_FALSE(splash->isRunning());
}

TEST_F(Splash, TheLauncherMayCloseIt) {
    auto splash = start(QImage());
    splash->Close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(splash->isRunning());
}

TEST_F(Splash, WithoutAPictureItIsA300SquareAndDrawsNoLogo) {
    AppResources::setSource(nullptr);
    auto splash = start(logoOf(20, 20, 255));
    CSplashWnd* w = splash->window();
    EXPECT_EQ(w->windowSize(), QSize(300, 300));
    EXPECT_EQ(w->size(), QSize(300, 300));
    // The logo fits the rule, but with no picture nothing at all is drawn.
    QImage shot = w->grab().toImage();
    const QRgb corner = shot.pixel(290, 290);
    EXPECT_EQ(corner, shot.pixel(5, 5));
}

} // namespace

namespace {

// A high-density screen gets the splash and the window icon drawn with twice the pixels,
// at the same place and size as the ordinary ones.
TEST_F(Splash, HighDensityScreensGetTheSharpPictures) {
    CSplashThread ordinary(QString::fromStdString(dir.path().string()));
    ordinary.SetImage(QStringLiteral("PNG"), 172, 1.0);
    CSplashThread sharp(QString::fromStdString(dir.path().string()));
    sharp.SetImage(QStringLiteral("PNG"), 172, 2.0);
    ASSERT_FALSE(ordinary.image().isNull());
    ASSERT_FALSE(sharp.image().isNull());
    EXPECT_EQ(ordinary.image().devicePixelRatio(), 1.0);
    EXPECT_EQ(sharp.image().devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.image().size(), ordinary.image().size() * 2);
    EXPECT_EQ(sharp.image().deviceIndependentSize().toSize(), ordinary.image().size());

    const QIcon icon = AppResources::icon(128);
    ASSERT_FALSE(icon.isNull());
    const QPixmap one = icon.pixmap(QSize(64, 64), 1.0);
    const QPixmap two = icon.pixmap(QSize(64, 64), 2.0);
    EXPECT_EQ(one.size(), QSize(64, 64));
    EXPECT_EQ(two.size(), QSize(128, 128));
    // Drawn, not scaled up: the sharp picture is not the ordinary one enlarged.
    EXPECT_NE(two.toImage().convertToFormat(QImage::Format_ARGB32),
              one.toImage().scaled(128, 128).convertToFormat(QImage::Format_ARGB32));
}

} // namespace
