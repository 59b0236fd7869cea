#include "CVideoViewArea.h"

#include "DialogPolish.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstring>

namespace {

// Pictures a view shows per second at most; a slower screen sets a lower limit.
constexpr double kMaxPicturesPerSecond = 15.0;

std::chrono::nanoseconds refreshInterval() {
    double rate = kMaxPicturesPerSecond;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const double refresh = screen->refreshRate();
        if (refresh >= 1.0)
            rate = std::min(rate, refresh);
    }
    return std::chrono::nanoseconds(static_cast<int64_t>(1e9 / rate));
}

} // namespace

CVideoViewArea::CVideoViewArea(int controlId, const QString& caption, QWidget* parent)
    : QFrame(parent), m_caption(caption), m_interval(refreshInterval()) {
    setObjectName(QString::number(controlId));
    setProperty("cld_id", controlId);
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    // The caption it paints names it for a screen reader.
    setAccessibleName(cld::spokenText(caption));
    setMinimumSize(176, 144);
    updateBox();
}

void CVideoViewArea::updateBox() {
    const QRect area = contentsRect();
    m_boxWidth.store(std::max(1, area.width()), std::memory_order_relaxed);
    m_boxHeight.store(std::max(1, area.height()), std::memory_order_relaxed);
}

void CVideoViewArea::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    updateBox();
}

void CVideoViewArea::OnVideoFrame(const WmVideoFrame& frame) {
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 || frame.stride < frame.width * 4)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_picture.width() != frame.width || m_picture.height() != frame.height)
            m_picture = QImage(frame.width, frame.height, QImage::Format_RGB32);
        if (m_picture.isNull())
            return;
        const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(m_picture.scanLine(y),
                        frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(frame.stride),
                        rowBytes);
    }
    ++m_frames;
    m_pending.store(true, std::memory_order_release);
    // Painted on the user-interface thread; dropped if the area is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

QImage CVideoViewArea::lastPicture() const {
    std::lock_guard lock(m_mutex);
    return m_picture.copy();
}

void CVideoViewArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    bool painted = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_picture.isNull()) {
            painter.fillRect(area, Qt::black);
            // Pictures come at the area's size; only one made before a resize is scaled.
            if (m_picture.width() > area.width() || m_picture.height() > area.height() ||
                (m_picture.width() != area.width() && m_picture.height() != area.height())) {
                const QImage fitted =
                    m_picture.scaled(area.size(), Qt::KeepAspectRatio, Qt::FastTransformation);
                painter.drawImage(area.x() + (area.width() - fitted.width()) / 2,
                                  area.y() + (area.height() - fitted.height()) / 2, fitted);
            } else {
                painter.drawImage(area.x() + (area.width() - m_picture.width()) / 2,
                                  area.y() + (area.height() - m_picture.height()) / 2, m_picture);
            }
            painted = true;
        }
    }
    if (!painted) {
        painter.drawText(area, Qt::AlignCenter, m_caption);
        return;
    }
    if (m_pending.exchange(false, std::memory_order_acq_rel))
        ++m_shown;
}
