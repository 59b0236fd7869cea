#pragma once

#include "WmDataView.h"

#include <QDialog>
#include <QString>
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

// What the two video progress dialogs share: the preview and postview areas, the time and
// size figures, the button that stops the run, and the run itself. The run starts by
// itself once the dialog is shown; while it runs, closing the dialog only asks it to stop.
// A dialog gives its ids and texts and says how its sources are set up.
class CVideoProgressDlg : public QDialog {
    Q_OBJECT

public:
    enum Control {
        kPreview = 1002,
        kProgress = 1012,
        kPostview = 1013,
        kOutputText = 1016,
        kInputText = 1017,
        kTimeText = 1059,
        kSizeText = 1060,
    };

    // The texts and figures that tell one dialog from the other.
    struct Look {
        int dialogId = 0;
        QString inputCaption; // caption before the input's name
        QString inputText;    // the input's name
        QString timeCaption;  // caption before the encoded time
        QString buttonText;   // the button that stops the run
        bool withProgress = false;
        int height = 0;
        int pollMs = 200; // how often the run looks at the encoder
        // The figures are read only while the encoder runs, not while it starts or stops.
        bool figuresOnlyWhileRunning = false;
    };

    ~CVideoProgressDlg() override;

protected:
    CVideoProgressDlg(JobContext& context, QWidget* parent, const Look& look);

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    // Readies the encoder for a file and checks the input; throws WMException.
    virtual void prepareRun() = 0;
    // Adds the dialog's sources to the new source group; throws WMException.
    virtual void addSources(WmSourceGroup& group) = 0;
    // Called once the encoder runs (the views run already).
    virtual void runStarted() {}
    // Called once the run has ended, however it ended.
    virtual void runEnded() {}
    // True when the views are started with the run and are to be stopped.
    virtual bool showsViews() const { return true; }
    // A clean end that still has something to tell; true when it was told.
    virtual bool toldIncompleteEnd() { return false; }
    // The string id that tells a failure `code` which ended a running encoder while
    // writing, with the output's name and the system's reason; 0 for the plain error text.
    virtual int writeFailureText(uint32_t code) const = 0;

    WmEncoderControl& encoder() { return *m_encoder; }
    const WmEncoderControl& encoder() const { return *m_encoder; }
    void startViews();
    // The end of a run that failed before or as the encoder started.
    void endWithFailure(uint32_t code);
    QPushButton* stopButton() const { return m_button; }
    bool running() const { return m_running; }

    WmDataView m_preview;
    WmDataView m_postview;
    // The length of the input in 100 ns units, for the progress bar.
    int64_t m_duration = 0;

private:
    class RunObserver;
    friend class RunObserver;
    void run();
    void tick();
    void refreshFigures();
    void finishViews();
    void fail(uint32_t code, bool whileWriting = false);

    std::unique_ptr<WmEncoderControl> m_encoder;
    WmSourceGroup* m_group = nullptr;
    const int m_pollMs;
    const bool m_figuresOnlyWhileRunning;
    bool m_cancel = false;
    bool m_started = false;
    bool m_painted = false; // drawn since the run was about to start
    bool m_running = false;
    QProgressBar* m_progress = nullptr;
    CVideoViewArea* m_previewArea = nullptr;
    CVideoViewArea* m_postviewArea = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_size = nullptr;
    QPushButton* m_button = nullptr;
    QTimer m_timer;
};
