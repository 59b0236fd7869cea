#pragma once

#include "ResourceIds.h"
#include "WmDataView.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>

class CVideoViewArea;
class QLabel;
class QProgressBar;
class QPushButton;
class WmEncoderControl;
class WmSourceGroup;
struct JobContext;

// Converts the chosen file (dialog 170): the encoder runs while this dialog shows the
// input pictures (preview), the encoded pictures (postview), the encoded time, the output
// size and the progress. The run starts by itself once the dialog is shown.
class CAVI2WMVProgressDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_AVI2WMV_PROGRESS;
    enum Control {
        kPreview = 1002,
        kProgress = 1012,
        kPostview = 1013,
        kOutputText = 1016,
        kInputText = 1017,
        kTimeText = 1059,
        kSizeText = 1060,
    };

    CAVI2WMVProgressDlg(JobContext& context, QWidget* parent);
    ~CAVI2WMVProgressDlg() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void run();
    void tick();
    void refreshFigures();
    void finishViews();
    // `whileWriting`: the code ended a running conversion (a write failure is then told
    // with the file's name and the system's reason).
    void fail(uint32_t code, bool whileWriting = false);

    JobContext& m_context;
    std::unique_ptr<WmEncoderControl> m_encoder;
    WmSourceGroup* m_group = nullptr;
    WmDataView m_preview;
    WmDataView m_postview;
    int64_t m_duration = 0; // 100 ns units
    bool m_cancel = false;
    bool m_started = false;
    bool m_running = false;
    QProgressBar* m_progress = nullptr;
    CVideoViewArea* m_previewArea = nullptr;
    CVideoViewArea* m_postviewArea = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_size = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTimer m_timer;
};
