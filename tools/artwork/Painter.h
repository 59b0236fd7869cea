#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

// The drawing vocabulary of the skin: glyphs, tiles and the window pictures. Every
// picture of the program is made from these so that the skin stays coherent.
namespace art {

// Palette of the skin.
inline const QColor kBodyTop{0x27, 0x31, 0x40};
inline const QColor kBodyBottom{0x12, 0x17, 0x20};
inline const QColor kStage{0x16, 0x1c, 0x26};
inline const QColor kEdge{0x4a, 0x5a, 0x70};
inline const QColor kAccent{0x49, 0xb6, 0xff};
inline const QColor kAmber{0xff, 0xb3, 0x3c};
inline const QColor kText{0xdc, 0xe4, 0xee};
inline const QColor kMagenta{0xff, 0x00, 0xff};

enum class Glyph { Disc, Mic, Folder, WaveDoc, Mp3Doc, WmaDoc, Film, Capture, Speaker, Camera };

// The scale every picture is drawn at from now on: 1 for ordinary screens, 2 for high-DPI
// ones. Sizes stay in device-independent pixels; the images have scale times the pixels.
void setScale(int scale);
int scale();

// Colour of a format badge ("WAV", "WMA", "MP3", "WMV").
QColor badgeColour(const QString& format);

QFont uiFont(int pixelSize, bool bold);

// Draws a glyph centred in rect.
void drawGlyph(QPainter& p, Glyph glyph, const QRectF& rect, bool lit);
// A rounded badge with a format name.
void drawBadge(QPainter& p, const QRectF& rect, const QString& format, bool lit);
// A right-pointing arrow.
void drawArrow(QPainter& p, const QRectF& rect, bool lit);

// A job tile: source glyph, arrow, target badge and a caption below.
QImage jobTile(QSize size, Glyph source, const QString& target, const QString& caption, bool hover);
// A big video tile: one glyph over a badge and caption.
QImage videoTile(QSize size, Glyph source, const QString& target, const QString& caption,
                 bool hover);
// A panel selector (Audio or Video) in its lit or dim state.
QImage panelTile(QSize size, Glyph glyph, const QString& caption, bool lit);
// A small round window control: "min", "close" or "about".
QImage roundControl(QSize size, const QString& kind, bool hover);
// Options (gear) and Help (question mark) buttons, Exit (power) button.
QImage optionsButton(QSize size, bool hover, const QString& caption = QStringLiteral("Options"));
QImage helpButton(QSize size, bool hover, const QString& caption = QStringLiteral("Help"));
QImage exitButton(QSize size, const QString& caption = QStringLiteral("Exit"));

// The window shape (white = window, black = outside) and the background picture.
QImage windowMask(QSize size);
// The words the two pictures carry, in English.
inline const QString kTagline = QStringLiteral("Audio & Video Conversion Suite");
inline const QString kLauncherStrip =
    QStringLiteral("RIP  \u2022  ENCODE  \u2022  DECODE  \u2022  RECORD  \u2022  CAPTURE");
inline const QString kSplashStrip =
    QStringLiteral("CD ripping  \u2022  MP3  \u2022  WMA  \u2022  WAV  \u2022  WMV");
QImage background(QSize size, const QString& tagline = kTagline,
                  const QString& strip = kLauncherStrip);
QImage splash(QSize size, const QString& tagline = kTagline, const QString& strip = kSplashStrip);
QImage appIcon(int size);
// The same program icon as scalable vector graphics, for the desktop's icon theme.
QByteArray appIconSvg();

// Flattens an image with alpha for a bitmap with a transparent colour: pixels that are
// mostly clear become magenta; the rest are blended over `under` and made opaque.
QImage flattenForKey(const QImage& img, QColor under);

} // namespace art
