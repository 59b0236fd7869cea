#pragma once

#include "IWmFrameSink.h"

#include <QFrame>
#include <QImage>
#include <atomic>
#include <chrono>
#include <mutex>

// A preview or postview area of a video dialog. It is the sink of a data view: the
// encoder's thread hands it pictures already scaled to the area, which it copies into a
// kept buffer and asks to be painted. It takes a new picture only once the last one has
// been painted, and no more often than the screen can show (at most 15 a second), so a
// hidden or busy window costs the encoder nothing.
class CVideoViewArea : public QFrame, public IWmFrameSink {
    Q_OBJECT

public:
    CVideoViewArea(int controlId, const QString& caption, QWidget* parent);

    void OnVideoFrame(const WmVideoFrame& frame) override;
    int BoxWidth() const override { return m_boxWidth.load(std::memory_order_relaxed); }
    int BoxHeight() const override { return m_boxHeight.load(std::memory_order_relaxed); }
    std::chrono::nanoseconds MinInterval() const override { return m_interval; }
    bool ReadyForFrame() const override { return !m_pending.load(std::memory_order_acquire); }

    // Pictures received so far, pictures painted so far, and a copy of the last one.
    int framesReceived() const { return m_frames.load(); }
    int framesShown() const { return m_shown.load(); }
    QImage lastPicture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateBox();

    QString m_caption;
    std::chrono::nanoseconds m_interval;
    mutable std::mutex m_mutex;
    QImage m_picture;
    std::atomic<int> m_boxWidth{0};
    std::atomic<int> m_boxHeight{0};
    // A picture has come that has not been painted yet.
    std::atomic<bool> m_pending{false};
    std::atomic<int> m_frames{0};
    std::atomic<int> m_shown{0};
};
