#include "CImageButton.h"

#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleOptionFocusRect>

namespace {

CImageButton::SoundPlayer& soundPlayer() {
    static CImageButton::SoundPlayer player = [](const QString& wavFile) {
        // ALSA's own player is on every desktop that has sound at all.
        const QString aplay = QStandardPaths::findExecutable(QStringLiteral("aplay"));
        if (!aplay.isEmpty())
            QProcess::startDetached(aplay, {QStringLiteral("-q"), wavFile});
    };
    return player;
}

} // namespace

CImageButton::CImageButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] { playSound(); });
}

void CImageButton::setImages(const QImage& hover, const QImage& normal) {
    m_hover = hover.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_normal =
        normal.isNull() ? m_hover : normal.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    update();
}

void CImageButton::setBitmaps(const QImage& hover, const QImage& normal, QColor transparent) {
    setImages(applyTransparentColour(hover, transparent),
              applyTransparentColour(normal, transparent));
}

const QImage& CImageButton::currentImage() const {
    if ((m_hovered || isDown()) && !m_hover.isNull() && isEnabled())
        return m_hover;
    return m_normal;
}

void CImageButton::setSoundPlayer(SoundPlayer player) {
    soundPlayer() = std::move(player);
}

QImage CImageButton::applyTransparentColour(const QImage& img, QColor transparent) {
    if (img.isNull())
        return {};
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb() & 0x00FFFFFFu;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0x00FFFFFFu) == key)
                line[x] = 0;
        }
    }
    return out;
}

QSize CImageButton::sizeHint() const {
    if (!m_normal.isNull())
        return m_normal.size();
    return QAbstractButton::sizeHint().expandedTo(QSize(24, 24));
}

void CImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QImage& img = currentImage();
    if (img.isNull()) {
        // No picture: a plain caption keeps the button usable.
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::ButtonText));
        QString caption = text();
        caption.remove(QLatin1Char('&'));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, caption);
        return;
    }
    if (!isEnabled())
        p.setOpacity(0.45);
    // A pressed button sinks by one pixel.
    const QPoint at = isDown() ? QPoint(1, 1) : QPoint(0, 0);
    p.drawImage(at, img);
}

void CImageButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CImageButton::nextCheckState() {}

void CImageButton::playSound() const {
    if (!m_sound.isEmpty() && soundPlayer())
        soundPlayer()(m_sound);
}
