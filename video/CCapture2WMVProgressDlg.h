#pragma once

#include "ResourceIds.h"
#include "WmDataView.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>

class CVideoViewArea;
class QLabel;
class QPushButton;
class WmEncoderControl;
class WmSourceGroup;
struct JobContext;

// Records the chosen devices or the screen (dialog 172) until "&Stop" is pressed or the
// encoder stops by itself, showing the elapsed time and the output size. A screen
// recording minimises the program and shows no views. The run starts by itself once the
// dialog is shown.
class CCapture2WMVProgressDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_CAPTURE2WMV_PROGRESS;
    enum Control {
        kPreview = 1002,
        kPostview = 1013,
        kOutputText = 1016,
        kInputText = 1017,
        kTimeText = 1059,
        kSizeText = 1060,
    };

    // `mainWindow` is the launcher, minimised during a screen recording.
    CCapture2WMVProgressDlg(JobContext& context, QWidget* mainWindow);
    ~CCapture2WMVProgressDlg() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void run();
    void tick();
    void refreshFigures();
    void finishViews();
    void restoreMainWindow();
    // `whileWriting`: the code ended a running recording; a recording that could not be
    // written further was kept up to then, and is told so with the system's reason.
    void fail(uint32_t code, bool whileWriting = false);
    bool eventFilter(QObject* watched, QEvent* event) override;

    JobContext& m_context;
    std::string m_audio;
    std::string m_video;
    bool m_stop = false;
    bool m_screen = false;
    std::unique_ptr<WmEncoderControl> m_encoder;
    WmSourceGroup* m_group = nullptr;
    WmDataView m_preview;
    WmDataView m_postview;
    CVideoViewArea* m_previewArea = nullptr;
    CVideoViewArea* m_postviewArea = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_size = nullptr;
    QPointer<QWidget> m_mainWindow;
    bool m_started = false;
    bool m_running = false;
    QTimer m_timer;
};
