#pragma once

#include "IWmFrameSink.h"

#include <QFrame>
#include <QImage>
#include <QTimer>
#include <atomic>
#include <mutex>

// A preview or postview area of a video dialog. It is the sink of a data view: the
// encoder's thread hands it pictures, which it copies; its own timer repaints the area
// on the user-interface thread when a new picture has come.
class CVideoViewArea : public QFrame, public IWmFrameSink {
    Q_OBJECT

public:
    CVideoViewArea(int controlId, const QString& caption, QWidget* parent);

    void OnVideoFrame(const WmVideoFrame& frame) override;
    // Pictures received so far, and a copy of the last one.
    int framesReceived() const { return m_frames.load(); }
    QImage lastPicture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    QTimer m_refresh;
    mutable std::mutex m_mutex;
    QImage m_picture;
    std::atomic<bool> m_fresh{false};
    std::atomic<int> m_frames{0};
};
