#include "CVideoViewArea.h"

#include <QPainter>
#include <cstring>

CVideoViewArea::CVideoViewArea(int controlId, const QString& caption, QWidget* parent)
    : QFrame(parent), m_caption(caption) {
    setObjectName(QString::number(controlId));
    setProperty("cld_id", controlId);
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setMinimumSize(176, 144);
    m_refresh.setInterval(40);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (m_fresh.exchange(false))
            update();
    });
    m_refresh.start();
}

void CVideoViewArea::OnVideoFrame(const WmVideoFrame& frame) {
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_picture.width() != frame.width || m_picture.height() != frame.height)
            m_picture = QImage(frame.width, frame.height, QImage::Format_RGB32);
        const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(m_picture.scanLine(y),
                        frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(frame.stride),
                        rowBytes);
    }
    ++m_frames;
    m_fresh = true;
}

QImage CVideoViewArea::lastPicture() const {
    std::lock_guard lock(m_mutex);
    return m_picture.copy();
}

void CVideoViewArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    QImage picture;
    {
        std::lock_guard lock(m_mutex);
        if (!m_picture.isNull())
            picture = m_picture.scaled(area.size(), Qt::KeepAspectRatio, Qt::FastTransformation);
    }
    if (picture.isNull()) {
        painter.drawText(area, Qt::AlignCenter, m_caption);
        return;
    }
    painter.fillRect(area, Qt::black);
    painter.drawImage(area.x() + (area.width() - picture.width()) / 2,
                      area.y() + (area.height() - picture.height()) / 2, picture);
}
