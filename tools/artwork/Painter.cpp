#include "Painter.h"

#include "ProductIdentity.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

namespace art {
namespace {

int g_scale = 1;

// An image of `size` device-independent pixels at the current scale: painters on it draw
// in device-independent pixels, so every picture comes out the same at any scale.
QImage canvas(QSize size, QImage::Format format) {
    QImage img(size * g_scale, format);
    img.setDevicePixelRatio(g_scale);
    return img;
}

QImage clearImage(QSize size) {
    QImage img = canvas(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// The product's name as the pictures show it: the name and the year in two colours, and
// the version line.
QString productName() {
    const QString product = QString::fromUtf8(cld::identity::kProduct);
    const qsizetype space = product.lastIndexOf(QLatin1Char(' '));
    return space < 0 ? product : product.left(space);
}

QString productYear() {
    const QString product = QString::fromUtf8(cld::identity::kProduct);
    const qsizetype space = product.lastIndexOf(QLatin1Char(' '));
    return space < 0 ? QString() : product.mid(space + 1);
}

QString versionLine() {
    return QStringLiteral("Version ") + QString::fromUtf8(cld::identity::kDisplayVersion);
}

void smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A glassy rounded tile with a soft top sheen.
void drawTile(QPainter& p, const QRectF& r, qreal radius, QColor top, QColor bottom, QColor border,
              qreal borderWidth) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    p.setPen(QPen(border, borderWidth));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);

    QRectF sheen = r.adjusted(borderWidth + 1, borderWidth + 1, -borderWidth - 1, 0);
    sheen.setHeight(r.height() * 0.45);
    QLinearGradient s(sheen.topLeft(), sheen.bottomLeft());
    s.setColorAt(0.0, QColor(255, 255, 255, 46));
    s.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(s);
    p.drawRoundedRect(sheen, radius - 2, radius - 2);
}

void drawCaption(QPainter& p, const QRectF& r, const QString& text, int pixelSize, QColor colour,
                 bool shadow = true) {
    // A longer caption (another language's) gets a smaller type rather than being cut.
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    p.setFont(uiFont(pixelSize, true));
    for (int size = pixelSize - 1; size >= pixelSize / 2; --size) {
        const QRectF need = QFontMetricsF(p.font()).boundingRect(r, flags, text);
        if (need.width() <= r.width() + 0.5 && need.height() <= r.height() + 0.5)
            break;
        p.setFont(uiFont(size, true));
    }
    if (shadow) {
        p.setPen(QColor(0, 0, 0, 170));
        p.drawText(r.translated(1, 1), Qt::AlignCenter | Qt::TextWordWrap, text);
    }
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, text);
}

void drawDocument(QPainter& p, const QRectF& r, QColor paper, QColor fold) {
    const qreal f = r.width() * 0.3;
    QPainterPath doc;
    doc.moveTo(r.left(), r.top());
    doc.lineTo(r.right() - f, r.top());
    doc.lineTo(r.right(), r.top() + f);
    doc.lineTo(r.right(), r.bottom());
    doc.lineTo(r.left(), r.bottom());
    doc.closeSubpath();
    p.setPen(QPen(QColor(0x20, 0x28, 0x34), 1.2));
    p.setBrush(paper);
    p.drawPath(doc);
    QPainterPath corner;
    corner.moveTo(r.right() - f, r.top());
    corner.lineTo(r.right() - f, r.top() + f);
    corner.lineTo(r.right(), r.top() + f);
    corner.closeSubpath();
    p.setBrush(fold);
    p.drawPath(corner);
}

void drawWave(QPainter& p, const QRectF& r, QColor colour, qreal width) {
    QPainterPath wave;
    const int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = static_cast<qreal>(i) / steps;
        const qreal env = std::sin(t * std::numbers::pi);
        const qreal y =
            r.center().y() + std::sin(t * std::numbers::pi * 6.0) * env * r.height() * 0.45;
        const QPointF pt(r.left() + t * r.width(), y);
        if (i == 0)
            wave.moveTo(pt);
        else
            wave.lineTo(pt);
    }
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

void drawDisc(QPainter& p, const QRectF& r, bool lit) {
    const QPointF c = r.center();
    const qreal rad = std::min(r.width(), r.height()) / 2.0;
    QRadialGradient g(c, rad);
    g.setColorAt(0.0, QColor(0xf4, 0xf6, 0xfa));
    g.setColorAt(0.55, QColor(0xb9, 0xc3, 0xd0));
    g.setColorAt(1.0, QColor(0x8a, 0x96, 0xa6));
    p.setPen(QPen(QColor(0x3a, 0x44, 0x52), 1.0));
    p.setBrush(g);
    p.drawEllipse(c, rad, rad);
    // Rainbow sheen of the data side.
    QConicalGradient sheen(c, 30);
    sheen.setColorAt(0.00, QColor(255, 120, 120, lit ? 120 : 80));
    sheen.setColorAt(0.17, QColor(255, 230, 120, lit ? 120 : 80));
    sheen.setColorAt(0.33, QColor(120, 255, 160, lit ? 120 : 80));
    sheen.setColorAt(0.50, QColor(120, 200, 255, lit ? 120 : 80));
    sheen.setColorAt(0.67, QColor(190, 140, 255, lit ? 120 : 80));
    sheen.setColorAt(0.83, QColor(255, 140, 220, lit ? 120 : 80));
    sheen.setColorAt(1.00, QColor(255, 120, 120, lit ? 120 : 80));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, rad * 0.92, rad * 0.92);
    p.setBrush(QColor(0xe8, 0xec, 0xf2));
    p.setPen(QPen(QColor(0x6a, 0x76, 0x86), 0.8));
    p.drawEllipse(c, rad * 0.3, rad * 0.3);
    p.setBrush(QColor(0x1a, 0x20, 0x2a));
    p.drawEllipse(c, rad * 0.12, rad * 0.12);
}

} // namespace

QFont uiFont(int pixelSize, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QColor badgeColour(const QString& format) {
    if (format == QLatin1String("WAV"))
        return {0x3c, 0xb3, 0x71};
    if (format == QLatin1String("WMA"))
        return {0x3d, 0x8b, 0xf0};
    if (format == QLatin1String("MP3"))
        return {0xf0, 0x8a, 0x24};
    return {0xa0, 0x62, 0xe8};
}

void drawBadge(QPainter& p, const QRectF& r, const QString& format, bool lit) {
    QColor c = badgeColour(format);
    if (lit)
        c = c.lighter(125);
    drawTile(p, r, r.height() * 0.3, c.lighter(120), c.darker(130), c.darker(180), 1.0);
    p.setFont(uiFont(static_cast<int>(r.height() * 0.58), true));
    p.setPen(QColor(0, 0, 0, 120));
    p.drawText(r.translated(0.8, 0.8), Qt::AlignCenter, format);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, format);
}

void drawArrow(QPainter& p, const QRectF& r, bool lit) {
    const QColor c = lit ? kAmber : QColor(0x8d, 0x9b, 0xae);
    QPainterPath a;
    const qreal midY = r.center().y();
    const qreal h = r.height();
    a.moveTo(r.left(), midY - h * 0.14);
    a.lineTo(r.right() - h * 0.4, midY - h * 0.14);
    a.lineTo(r.right() - h * 0.4, midY - h * 0.38);
    a.lineTo(r.right(), midY);
    a.lineTo(r.right() - h * 0.4, midY + h * 0.38);
    a.lineTo(r.right() - h * 0.4, midY + h * 0.14);
    a.lineTo(r.left(), midY + h * 0.14);
    a.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(a);
}

void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box, bool lit) {
    const qreal s = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    const QColor ink = lit ? QColor(0xff, 0xff, 0xff) : QColor(0xd0, 0xd8, 0xe4);
    switch (glyph) {
    case Glyph::Disc:
        drawDisc(p, r.adjusted(1, 1, -1, -1), lit);
        break;
    case Glyph::Mic: {
        const QRectF head(r.center().x() - s * 0.17, r.top() + s * 0.04, s * 0.34, s * 0.52);
        QLinearGradient g(head.topLeft(), head.topRight());
        g.setColorAt(0, QColor(0x9a, 0xa6, 0xb6));
        g.setColorAt(0.5, QColor(0xf2, 0xf5, 0xf9));
        g.setColorAt(1, QColor(0x7a, 0x86, 0x96));
        p.setPen(QPen(QColor(0x2a, 0x32, 0x3e), 1));
        p.setBrush(g);
        p.drawRoundedRect(head, s * 0.17, s * 0.17);
        p.setPen(QPen(QColor(0x55, 0x60, 0x70), 0.8));
        for (int i = 1; i < 5; ++i) {
            const qreal y = head.top() + head.height() * i / 5.5;
            p.drawLine(QPointF(head.left() + 3, y), QPointF(head.right() - 3, y));
        }
        p.setPen(QPen(ink, s * 0.06, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF cup(r.center().x() - s * 0.27, r.top() + s * 0.22, s * 0.54, s * 0.5);
        p.drawArc(cup, 180 * 16, 180 * 16);
        p.drawLine(QPointF(r.center().x(), cup.bottom()),
                   QPointF(r.center().x(), r.bottom() - s * 0.08));
        p.drawLine(QPointF(r.center().x() - s * 0.18, r.bottom() - s * 0.06),
                   QPointF(r.center().x() + s * 0.18, r.bottom() - s * 0.06));
        if (lit) {
            p.setBrush(QColor(0xff, 0x40, 0x40));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(r.right() - s * 0.1, r.top() + s * 0.12), s * 0.07, s * 0.07);
        }
        break;
    }
    case Glyph::Folder: {
        const QRectF body(r.left() + s * 0.04, r.top() + s * 0.25, s * 0.92, s * 0.62);
        QPainterPath tab;
        tab.moveTo(body.left(), body.top());
        tab.lineTo(body.left(), body.top() - s * 0.1);
        tab.lineTo(body.left() + s * 0.34, body.top() - s * 0.1);
        tab.lineTo(body.left() + s * 0.42, body.top());
        tab.closeSubpath();
        p.setPen(QPen(QColor(0x6a, 0x4a, 0x10), 1));
        p.setBrush(QColor(0xe0, 0xa8, 0x38));
        p.drawPath(tab);
        QLinearGradient g(body.topLeft(), body.bottomLeft());
        g.setColorAt(0, QColor(0xff, 0xd8, 0x70));
        g.setColorAt(1, QColor(0xe0, 0x9c, 0x28));
        p.setBrush(g);
        p.drawRoundedRect(body, 3, 3);
        drawWave(p, body.adjusted(s * 0.12, s * 0.14, -s * 0.12, -s * 0.14),
                 QColor(0x6a, 0x3a, 0x00), 1.6);
        break;
    }
    case Glyph::WaveDoc:
    case Glyph::Mp3Doc:
    case Glyph::WmaDoc: {
        const QRectF doc(r.left() + s * 0.16, r.top() + s * 0.04, s * 0.68, s * 0.9);
        drawDocument(p, doc, QColor(0xf4, 0xf6, 0xfa), QColor(0xc4, 0xcc, 0xd8));
        const QString fmt = glyph == Glyph::Mp3Doc ? QStringLiteral("MP3") : QStringLiteral("WMA");
        if (glyph == Glyph::WaveDoc) {
            drawWave(p, doc.adjusted(s * 0.08, s * 0.3, -s * 0.08, -s * 0.2),
                     QColor(0x2a, 0x8a, 0x50), 1.8);
        } else {
            // A note on the page, in the colour of the format.
            const QColor c = badgeColour(fmt).darker(120);
            const QPointF head(doc.left() + doc.width() * 0.4, doc.bottom() - doc.height() * 0.22);
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(head, s * 0.09, s * 0.07);
            p.setPen(QPen(c, s * 0.045, Qt::SolidLine, Qt::FlatCap));
            const QPointF stemTop(head.x() + s * 0.08, doc.top() + doc.height() * 0.28);
            p.drawLine(QPointF(head.x() + s * 0.08, head.y()), stemTop);
            p.drawLine(stemTop, QPointF(stemTop.x() + s * 0.14, stemTop.y() + s * 0.08));
        }
        break;
    }
    case Glyph::Film: {
        const QRectF strip(r.left() + s * 0.04, r.top() + s * 0.18, s * 0.92, s * 0.64);
        p.setPen(QPen(QColor(0x10, 0x10, 0x14), 1));
        p.setBrush(QColor(0x2a, 0x2c, 0x34));
        p.drawRoundedRect(strip, 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe8, 0xea, 0xee));
        const int holes = 7;
        for (int i = 0; i < holes; ++i) {
            const qreal x = strip.left() + strip.width() * (i + 0.3) / holes;
            p.drawRoundedRect(QRectF(x, strip.top() + s * 0.03, s * 0.06, s * 0.06), 1, 1);
            p.drawRoundedRect(QRectF(x, strip.bottom() - s * 0.09, s * 0.06, s * 0.06), 1, 1);
        }
        for (int i = 0; i < 3; ++i) {
            const QRectF frame(strip.left() + s * 0.05 + i * s * 0.29, strip.top() + s * 0.13,
                               s * 0.25, s * 0.38);
            QLinearGradient g(frame.topLeft(), frame.bottomRight());
            g.setColorAt(0, QColor(0x7e, 0xc8, 0xff));
            g.setColorAt(1, QColor(0x3a, 0x6e, 0xc8));
            p.setBrush(g);
            p.drawRect(frame);
        }
        break;
    }
    case Glyph::Capture:
    case Glyph::Camera: {
        const QRectF screen(r.left() + s * 0.04, r.top() + s * 0.1, s * 0.92, s * 0.62);
        p.setPen(QPen(QColor(0x10, 0x14, 0x1a), 1.2));
        p.setBrush(QColor(0x38, 0x40, 0x4c));
        p.drawRoundedRect(screen, 4, 4);
        const QRectF glass = screen.adjusted(s * 0.05, s * 0.05, -s * 0.05, -s * 0.05);
        QLinearGradient g(glass.topLeft(), glass.bottomRight());
        g.setColorAt(0, QColor(0x5e, 0xb8, 0xff));
        g.setColorAt(1, QColor(0x24, 0x3e, 0x8a));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawRect(glass);
        p.setBrush(QColor(0x38, 0x40, 0x4c));
        p.drawRect(QRectF(r.center().x() - s * 0.06, screen.bottom(), s * 0.12, s * 0.12));
        p.drawRoundedRect(
            QRectF(r.center().x() - s * 0.24, screen.bottom() + s * 0.1, s * 0.48, s * 0.07), 2, 2);
        // The recording light.
        p.setBrush(lit ? QColor(0xff, 0x3a, 0x3a) : QColor(0xc0, 0x30, 0x30));
        p.setPen(QPen(QColor(255, 255, 255, 160), 1));
        p.drawEllipse(QPointF(glass.right() - s * 0.12, glass.top() + s * 0.12), s * 0.07,
                      s * 0.07);
        break;
    }
    case Glyph::Speaker: {
        QPainterPath sp;
        sp.moveTo(r.left() + s * 0.1, r.top() + s * 0.36);
        sp.lineTo(r.left() + s * 0.3, r.top() + s * 0.36);
        sp.lineTo(r.left() + s * 0.55, r.top() + s * 0.12);
        sp.lineTo(r.left() + s * 0.55, r.bottom() - s * 0.12);
        sp.lineTo(r.left() + s * 0.3, r.bottom() - s * 0.36);
        sp.lineTo(r.left() + s * 0.1, r.bottom() - s * 0.36);
        sp.closeSubpath();
        p.setPen(QPen(QColor(0x10, 0x14, 0x1a), 1));
        p.setBrush(ink);
        p.drawPath(sp);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(lit ? kAmber : ink, s * 0.06, Qt::SolidLine, Qt::RoundCap));
        for (int i = 1; i <= 2; ++i) {
            const qreal rr = s * 0.16 * i;
            p.drawArc(QRectF(r.left() + s * 0.55 - rr, r.center().y() - rr, 2 * rr, 2 * rr),
                      -50 * 16, 100 * 16);
        }
        break;
    }
    }
}

QImage jobTile(QSize size, Glyph source, const QString& target, const QString& caption,
               bool hover) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2.5, 2.5, -2.5, -2.5);
    if (hover) {
        // Outer glow.
        for (int i = 3; i >= 1; --i) {
            p.setPen(QPen(QColor(0x49, 0xb6, 0xff, 40 * (4 - i)), i * 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), 13, 13);
        }
        drawTile(p, r, 12, QColor(0x3f, 0x77, 0xb4), QColor(0x1d, 0x3c, 0x66),
                 QColor(0x8c, 0xd2, 0xff), 1.6);
    } else {
        drawTile(p, r, 12, QColor(0x34, 0x41, 0x54), QColor(0x1c, 0x24, 0x31), kEdge, 1.2);
    }
    const qreal iconH = r.height() * 0.5;
    const QRectF icon(r.left() + r.width() * 0.1, r.top() + 6, iconH, iconH);
    drawGlyph(p, source, icon, hover);
    const QRectF arrow(icon.right() + r.width() * 0.05, icon.center().y() - iconH * 0.22,
                       r.width() * 0.17, iconH * 0.44);
    drawArrow(p, arrow, hover);
    const QRectF badge(arrow.right() + r.width() * 0.05, icon.center().y() - iconH * 0.3,
                       r.width() * 0.3, iconH * 0.6);
    drawBadge(p, badge, target, hover);
    const QRectF text(r.left() + 4, icon.bottom() + 2, r.width() - 8,
                      r.bottom() - icon.bottom() - 5);
    drawCaption(p, text, caption, 12, hover ? Qt::white : kText);
    return img;
}

QImage videoTile(QSize size, Glyph source, const QString& target, const QString& caption,
                 bool hover) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2.5, 2.5, -2.5, -2.5);
    if (hover) {
        for (int i = 3; i >= 1; --i) {
            p.setPen(QPen(QColor(0x49, 0xb6, 0xff, 40 * (4 - i)), i * 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), 17, 17);
        }
        drawTile(p, r, 16, QColor(0x3f, 0x77, 0xb4), QColor(0x1d, 0x3c, 0x66),
                 QColor(0x8c, 0xd2, 0xff), 1.6);
    } else {
        drawTile(p, r, 16, QColor(0x34, 0x41, 0x54), QColor(0x1c, 0x24, 0x31), kEdge, 1.2);
    }
    const qreal iconS = r.width() * 0.5;
    const QRectF icon(r.center().x() - iconS / 2 - r.width() * 0.1, r.top() + 12, iconS, iconS);
    drawGlyph(p, source, icon, hover);
    const QRectF badge(icon.right() - iconS * 0.1, icon.bottom() - iconS * 0.28, r.width() * 0.34,
                       iconS * 0.36);
    drawBadge(p, badge, target, hover);
    const QRectF text(r.left() + 6, icon.bottom() + 8, r.width() - 12,
                      r.bottom() - icon.bottom() - 12);
    drawCaption(p, text, caption, 13, hover ? Qt::white : kText);
    return img;
}

QImage panelTile(QSize size, Glyph glyph, const QString& caption, bool lit) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(3.5, 3.5, -3.5, -3.5);
    if (lit) {
        for (int i = 3; i >= 1; --i) {
            p.setPen(QPen(QColor(0xff, 0xb3, 0x3c, 45 * (4 - i)), i * 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r, 18, 18);
        }
        drawTile(p, r, 18, QColor(0x5a, 0x46, 0x22), QColor(0x2c, 0x20, 0x10), kAmber, 1.8);
    } else {
        drawTile(p, r, 18, QColor(0x30, 0x3a, 0x4a), QColor(0x19, 0x20, 0x2b), kEdge, 1.2);
    }
    const qreal iconS = std::min(r.width(), r.height()) * 0.5;
    const QRectF icon(r.center().x() - iconS / 2, r.top() + 8, iconS, iconS);
    drawGlyph(p, glyph, icon, lit);
    const QRectF text(r.left(), icon.bottom() + 2, r.width(), r.bottom() - icon.bottom() - 4);
    drawCaption(p, text, caption, static_cast<int>(std::max<qreal>(13, r.height() * 0.16)),
                lit ? kAmber.lighter(120) : kText);
    return img;
}

QImage roundControl(QSize size, const QString& kind, bool hover) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1, 1, -1, -1);
    QColor base = kind == QLatin1String("close") ? QColor(0xd0, 0x45, 0x3c)
                  : kind == QLatin1String("min") ? QColor(0xd8, 0x9c, 0x2c)
                                                 : QColor(0x2f, 0x8f, 0xd8);
    if (!hover)
        base = base.darker(150);
    QRadialGradient g(r.center() - QPointF(0, r.height() * 0.2), r.width() * 0.7);
    g.setColorAt(0, base.lighter(150));
    g.setColorAt(1, base.darker(120));
    p.setPen(QPen(QColor(0x0c, 0x10, 0x16), 1.2));
    p.setBrush(g);
    p.drawEllipse(r);
    p.setPen(QPen(hover ? Qt::white : QColor(0xe6, 0xe6, 0xe6),
                  std::max<qreal>(1.8, r.width() * 0.1), Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center();
    const qreal a = r.width() * 0.2;
    if (kind == QLatin1String("close")) {
        p.drawLine(c + QPointF(-a, -a), c + QPointF(a, a));
        p.drawLine(c + QPointF(-a, a), c + QPointF(a, -a));
    } else if (kind == QLatin1String("min")) {
        p.drawLine(c + QPointF(-a, a * 0.6), c + QPointF(a, a * 0.6));
    } else {
        p.setFont(uiFont(static_cast<int>(r.height() * 0.7), true));
        p.drawText(r.translated(0, -0.5), Qt::AlignCenter, QStringLiteral("i"));
    }
    return img;
}

QImage optionsButton(QSize size, bool hover, const QString& caption) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const qreal s = size.width() * 0.72;
    const QPointF c(size.width() / 2.0, s / 2 + 3);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal ang = i * std::numbers::pi / teeth;
        const qreal rad = (i % 2 == 0) ? s * 0.5 : s * 0.38;
        const qreal a1 = ang - std::numbers::pi / teeth * 0.45;
        const qreal a2 = ang + std::numbers::pi / teeth * 0.45;
        const QPointF p1 = c + QPointF(std::cos(a1) * rad, std::sin(a1) * rad);
        const QPointF p2 = c + QPointF(std::cos(a2) * rad, std::sin(a2) * rad);
        if (i == 0)
            gear.moveTo(p1);
        else
            gear.lineTo(p1);
        gear.lineTo(p2);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, s * 0.16, s * 0.16);
    gear = gear.subtracted(hole);
    QRadialGradient g(c - QPointF(s * 0.15, s * 0.15), s * 0.7);
    const QColor metal = hover ? QColor(0xff, 0xc8, 0x6a) : QColor(0xb8, 0xc2, 0xd0);
    g.setColorAt(0, metal.lighter(130));
    g.setColorAt(1, metal.darker(160));
    p.setPen(QPen(QColor(0x10, 0x14, 0x1a), 1.2));
    p.setBrush(g);
    p.drawPath(gear);
    drawCaption(p, QRectF(0, s + 4, size.width(), size.height() - s - 5), caption, 12,
                hover ? kAmber.lighter(120) : kText);
    return img;
}

QImage helpButton(QSize size, bool hover, const QString& caption) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const qreal d = std::min<qreal>(size.width() - 8, size.height() - 19);
    const QRectF circle((size.width() - d) / 2, 2, d, d);
    QRadialGradient g(circle.center() - QPointF(0, d * 0.2), d * 0.7);
    const QColor base = hover ? QColor(0x49, 0xb6, 0xff) : QColor(0x2c, 0x6c, 0xa8);
    g.setColorAt(0, base.lighter(140));
    g.setColorAt(1, base.darker(130));
    p.setPen(QPen(QColor(0x0c, 0x10, 0x16), 1.2));
    p.setBrush(g);
    p.drawEllipse(circle);
    p.setFont(uiFont(static_cast<int>(d * 0.7), true));
    p.setPen(Qt::white);
    p.drawText(circle, Qt::AlignCenter, QStringLiteral("?"));
    drawCaption(p,
                QRectF(0, circle.bottom() + 1, size.width(), size.height() - circle.bottom() - 1),
                caption, 11, hover ? Qt::white : kText);
    return img;
}

QImage exitButton(QSize size, const QString& caption) {
    QImage img = clearImage(size);
    QPainter p(&img);
    smooth(p);
    const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2.5, 2.5, -2.5, -2.5);
    drawTile(p, r, 10, QColor(0x6a, 0x2a, 0x26), QColor(0x38, 0x12, 0x10), QColor(0xd0, 0x5a, 0x50),
             1.4);
    const QPointF c(r.center().x(), r.top() + r.height() * 0.4);
    const qreal rad = r.height() * 0.22;
    p.setPen(QPen(QColor(0xff, 0xe0, 0xdc), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - rad, c.y() - rad, 2 * rad, 2 * rad), 120 * 16, 300 * 16);
    p.drawLine(QPointF(c.x(), c.y() - rad - 2), QPointF(c.x(), c.y() + 1));
    drawCaption(p, QRectF(r.left(), r.top() + r.height() * 0.66, r.width(), r.height() * 0.32),
                caption, 12, Qt::white);
    return img;
}

void setScale(int scale) {
    g_scale = std::max(1, scale);
}

int scale() {
    return g_scale;
}

QImage windowMask(QSize size) {
    QImage img = canvas(size, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    // Hard edges: the mask is one bit per pixel.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath body;
    body.addRoundedRect(QRectF(150, 0, size.width() - 150, size.height()), 34, 34);
    QPainterPath wing;
    wing.addRoundedRect(QRectF(0, 88, 230, size.height() - 88), 30, 30);
    // A fillet where the wing meets the body.
    QPainterPath fillet;
    fillet.addRect(QRectF(126, 64, 24, 24));
    QPainterPath bite;
    bite.addEllipse(QRectF(102, 40, 48, 48));
    const QPainterPath shape = body.united(wing).united(fillet.subtracted(bite));
    p.drawPath(shape);
    p.end();
    return img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
}

QImage background(QSize size, const QString& tagline, const QString& strip) {
    QImage img = canvas(size, QImage::Format_RGB32);
    img.fill(QColor(0x0a, 0x0d, 0x12));
    QPainter p(&img);
    smooth(p);
    const QImage mask = windowMask(size).convertToFormat(QImage::Format_RGB32);

    // Body with a vertical sheen.
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0.0, kBodyTop);
    body.setColorAt(0.5, QColor(0x1b, 0x23, 0x2f));
    body.setColorAt(1.0, kBodyBottom);
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), body);
    // Fine brushed lines.
    for (int y = 0; y < size.height(); y += 3) {
        p.setPen(QColor(255, 255, 255, (y / 3) % 2 ? 5 : 9));
        p.drawLine(0, y, size.width(), y);
    }

    // Header band with the title.
    QLinearGradient head(0, 0, 0, 70);
    head.setColorAt(0, QColor(0x36, 0x44, 0x58));
    head.setColorAt(1, QColor(0x1e, 0x27, 0x34));
    p.setPen(Qt::NoPen);
    p.setBrush(head);
    p.drawRoundedRect(QRectF(160, 6, size.width() - 172, 60), 26, 26);
    p.setFont(uiFont(30, true));
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(QPointF(238, 46), productName());
    p.setPen(kText);
    p.drawText(QPointF(236, 44), productName());
    const int titleW =
        QFontMetrics(uiFont(30, true)).horizontalAdvance(productName() + QLatin1Char(' '));
    p.setPen(kAccent);
    p.drawText(QPointF(236 + titleW, 44), productYear());
    p.setFont(uiFont(12, false));
    p.setPen(QColor(0x94, 0xa4, 0xb8));
    p.drawText(QPointF(240, 61), tagline);

    // A disc emblem on the header's left.
    QImage disc = clearImage(QSize(52, 52));
    {
        QPainter dp(&disc);
        smooth(dp);
        drawGlyph(dp, Glyph::Disc, QRectF(1, 1, 50, 50), true);
    }
    p.drawImage(QPointF(176, 10), disc);

    // Wave band under the header.
    const QRectF band(240, 84, 450, 52);
    for (int k = 0; k < 3; ++k) {
        QColor c = k == 0 ? kAccent : k == 1 ? kAmber : QColor(0x7c, 0xe0, 0xa0);
        c.setAlpha(k == 0 ? 150 : 90);
        drawWave(p, band.adjusted(k * 18, k * 3, -k * 12, -k * 3), c, k == 0 ? 2.2 : 1.4);
    }
    p.setFont(uiFont(11, true));
    p.setPen(QColor(0x7f, 0x90, 0xa6));
    // A longer strip (another language's) gets a smaller type rather than being cut.
    const QRectF stripRect(170, 136, 520, 18);
    for (int px = 10;
         px >= 7 && QFontMetricsF(p.font()).horizontalAdvance(strip) > stripRect.width(); --px)
        p.setFont(uiFont(px, true));
    p.drawText(stripRect, Qt::AlignCenter, strip);

    // The stage: a recessed panel that holds the job buttons.
    QPainterPath stage;
    {
        QPainterPath upper;
        upper.addRoundedRect(QRectF(194, 152, 510, 300), 18, 18);
        QPainterPath lower;
        lower.addRoundedRect(QRectF(166, 246, 538, 206), 18, 18);
        stage = upper.united(lower);
    }
    const QRectF stageBox = stage.boundingRect();
    QLinearGradient sg(stageBox.topLeft(), stageBox.bottomLeft());
    sg.setColorAt(0, QColor(0x0e, 0x12, 0x19));
    sg.setColorAt(1, kStage);
    p.setPen(QPen(QColor(0x05, 0x07, 0x0a), 1.5));
    p.setBrush(sg);
    p.drawPath(stage);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stage.translated(0.8, 1.2));

    // The rail that holds the panel selectors, options and help.
    QLinearGradient rail(0, 0, 160, 0);
    rail.setColorAt(0, QColor(0x14, 0x1a, 0x23));
    rail.setColorAt(1, QColor(0x1c, 0x24, 0x30));
    p.setPen(QPen(QColor(255, 255, 255, 20), 1));
    p.setBrush(rail);
    p.drawRoundedRect(QRectF(6, 96, 150, size.height() - 104), 22, 22);

    // Footer.
    p.setFont(uiFont(10, false));
    p.setPen(QColor(0x6c, 0x7c, 0x90));
    p.drawText(QPointF(240, 476), versionLine() + QStringLiteral("   \u2022   ") +
                                      QString::fromUtf8(cld::identity::kVendor));

    // Bevel along the window outline: light on top-left edges, dark on bottom-right.
    p.end();
    // The bevel is as wide at every scale: one and two device-independent pixels.
    QImage out = img;
    const int w = img.width();
    const int h = img.height();
    const int s = g_scale;
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && (mask.pixel(x, y) & 0xFFFFFF) != 0;
    };
    auto within = [&](int x, int y, int d, int dx, int dy) {
        for (int k = 1; k <= d; ++k)
            if (!inside(x + dx * k, y + dy * k))
                return false;
        return true;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!inside(x, y)) {
                out.setPixel(x, y, qRgb(0, 0, 0));
                continue;
            }
            const bool edgeTop = !within(x, y, s, 0, -1) || !within(x, y, s, -1, 0);
            const bool edgeBottom = !within(x, y, s, 0, 1) || !within(x, y, s, 1, 0);
            if (edgeTop)
                out.setPixel(x, y, qRgb(0x8a, 0x9c, 0xb4));
            else if (edgeBottom)
                out.setPixel(x, y, qRgb(0x06, 0x08, 0x0c));
            else if (!within(x, y, 2 * s, 0, -1) || !within(x, y, 2 * s, -1, 0))
                out.setPixel(x, y, qRgb(0x52, 0x62, 0x78));
        }
    }
    return out.convertToFormat(QImage::Format_RGB888);
}

QImage splash(QSize size, const QString& tagline, const QString& strip) {
    QImage img = canvas(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    smooth(p);
    QLinearGradient bg(0, 0, size.width(), size.height());
    bg.setColorAt(0, QColor(0x2a, 0x36, 0x48));
    bg.setColorAt(1, QColor(0x0c, 0x10, 0x18));
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), bg);
    // A large disc rising from the right edge.
    drawDisc(p, QRectF(300, -40, 380, 380), true);
    QLinearGradient fade(0, 0, size.width(), 0);
    fade.setColorAt(0.0, QColor(0x14, 0x1a, 0x24, 255));
    fade.setColorAt(0.45, QColor(0x14, 0x1a, 0x24, 230));
    fade.setColorAt(0.75, QColor(0x14, 0x1a, 0x24, 40));
    fade.setColorAt(1.0, QColor(0x14, 0x1a, 0x24, 0));
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), fade);
    for (int k = 0; k < 3; ++k) {
        QColor c = k == 0 ? kAccent : k == 1 ? kAmber : QColor(0x7c, 0xe0, 0xa0);
        c.setAlpha(k == 0 ? 200 : 120);
        drawWave(p, QRectF(30 + k * 10, 250 + k * 4, 540 - k * 30, 70 - k * 8), c, k == 0 ? 3 : 2);
    }
    p.setFont(uiFont(56, true));
    p.setPen(QColor(0, 0, 0, 150));
    p.drawText(QPointF(42, 133), productName());
    p.setPen(Qt::white);
    p.drawText(QPointF(40, 130), productName());
    p.setFont(uiFont(40, true));
    p.setPen(kAccent);
    p.drawText(QPointF(44, 182), productYear());
    p.setFont(uiFont(17, false));
    p.setPen(kText);
    p.drawText(QPointF(44, 216), tagline);
    p.setFont(uiFont(12, false));
    p.setPen(QColor(0x9a, 0xaa, 0xbe));
    p.drawText(QPointF(44, 372), versionLine());
    p.drawText(QPointF(44, 392), strip);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    return img;
}

QImage appIcon(int size) {
    QImage img = clearImage(QSize(size, size));
    QPainter p(&img);
    smooth(p);
    drawDisc(p, QRectF(1, 1, size - 2, size - 2), true);
    drawWave(p, QRectF(size * 0.08, size * 0.55, size * 0.84, size * 0.3), kAmber, size / 16.0);
    return img;
}

QByteArray appIconSvg() {
    // Drawn on a 256-unit square with the figures appIcon uses, so that both look alike.
    const qreal size = 256;
    const qreal c = size / 2;
    const qreal rad = (size - 2) / 2;
    auto num = [](qreal v) { return QByteArray::number(v, 'f', 2); };
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                     "viewBox=\"0 0 256 256\">\n"
                     "<defs><radialGradient id=\"disc\" cx=\"50%\" cy=\"50%\" r=\"50%\">"
                     "<stop offset=\"0\" stop-color=\"#f4f6fa\"/>"
                     "<stop offset=\"0.55\" stop-color=\"#b9c3d0\"/>"
                     "<stop offset=\"1\" stop-color=\"#8a96a6\"/></radialGradient></defs>\n";
    svg += "<circle cx=\"" + num(c) + "\" cy=\"" + num(c) + "\" r=\"" + num(rad) +
           "\" fill=\"url(#disc)\" stroke=\"#3a4452\" stroke-width=\"1\"/>\n";
    // The data side's rainbow sheen: six wedges of the colours the bitmap's sweep passes.
    const char* sheen[] = {"#ff7878", "#ffe678", "#78ffa0", "#78c8ff", "#be8cff", "#ff8cdc"};
    const qreal inner = rad * 0.92;
    for (int i = 0; i < 6; ++i) {
        const qreal a0 = (30.0 + i * 60.0) * std::numbers::pi / 180.0;
        const qreal a1 = (30.0 + (i + 1) * 60.0) * std::numbers::pi / 180.0;
        svg += "<path d=\"M" + num(c) + " " + num(c) + " L" + num(c + inner * std::cos(a0)) + " " +
               num(c - inner * std::sin(a0)) + " A" + num(inner) + " " + num(inner) + " 0 0 0 " +
               num(c + inner * std::cos(a1)) + " " + num(c - inner * std::sin(a1)) +
               " Z\" fill=\"" + sheen[i] + "\" fill-opacity=\"0.47\"/>\n";
    }
    svg += "<circle cx=\"" + num(c) + "\" cy=\"" + num(c) + "\" r=\"" + num(rad * 0.3) +
           "\" fill=\"#e8ecf2\" stroke=\"#6a7686\" stroke-width=\"0.8\"/>\n";
    svg += "<circle cx=\"" + num(c) + "\" cy=\"" + num(c) + "\" r=\"" + num(rad * 0.12) +
           "\" fill=\"#1a202a\" stroke=\"#6a7686\" stroke-width=\"0.8\"/>\n";
    // The sound wave across the lower half.
    const QRectF r(size * 0.08, size * 0.55, size * 0.84, size * 0.3);
    QByteArray wave;
    const int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = static_cast<qreal>(i) / steps;
        const qreal env = std::sin(t * std::numbers::pi);
        const qreal y =
            r.center().y() + std::sin(t * std::numbers::pi * 6.0) * env * r.height() * 0.45;
        wave += (i == 0 ? "M" : " L") + num(r.left() + t * r.width()) + " " + num(y);
    }
    svg += "<path d=\"" + wave + "\" fill=\"none\" stroke=\"" + kAmber.name().toLatin1() +
           "\" stroke-width=\"" + num(size / 16.0) +
           "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n</svg>\n";
    return svg;
}

QImage flattenForKey(const QImage& src, QColor under) {
    QImage in = src.convertToFormat(QImage::Format_ARGB32);
    QImage out(in.size(), QImage::Format_RGB888);
    for (int y = 0; y < in.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(in.constScanLine(y));
        for (int x = 0; x < in.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a < 110) {
                out.setPixel(x, y, kMagenta.rgb());
                continue;
            }
            auto blend = [a](int c, int u) { return (c * a + u * (255 - a)) / 255; };
            QRgb rgb = qRgb(blend(qRed(px), under.red()), blend(qGreen(px), under.green()),
                            blend(qBlue(px), under.blue()));
            // A blended pixel must never turn into the key colour itself.
            if ((rgb & 0xFFFFFF) == (kMagenta.rgb() & 0xFFFFFF))
                rgb = qRgb(0xfe, 0x00, 0xfe);
            out.setPixel(x, y, rgb);
        }
    }
    return out;
}

} // namespace art
