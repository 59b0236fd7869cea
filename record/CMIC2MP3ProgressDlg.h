#pragma once

#include "CRecorderProgressDlg.h"
#include "CaptureEngineProgress.h"

class CSignalMonitor;
class QLabel;
class QPushButton;
class QTimer;
struct JobContext;

namespace cld {
class Mp3RecorderEngine;
}

// "Calderine - MIC / Line-IN to MP3 Recording": records from the chosen device straight
// into an MP3 file while the signal monitor shows the input.
class CMIC2MP3ProgressDlg : public CRecorderProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 165;
    enum Control {
        kDevice = 1017,
        kFile = 1016,
        kBitrate = 1023,
        kTotalSpace = 1025,
        kFreeSpace = 1022,
        kMonitor = 1013,
        kStatus = 1011,
        kStart = 1051,
        kPause = 1049,
        kStop = 1055,
    };
    static constexpr int kTimerMs = 600;

    // `launcher` goes down and comes back with this dialog; the engine is not owned.
    CMIC2MP3ProgressDlg(JobContext& context, cld::Mp3RecorderEngine& engine, int deviceId,
                        const QString& deviceName, QWidget* launcher = nullptr);
    ~CMIC2MP3ProgressDlg() override;

    QString outputFile() const { return m_outputFile; }
    CSignalMonitor* monitor() const { return m_monitor; }

    void onStart();
    void onPause();
    void onStop();
    void onExit() override;

private:
    void onTimer();
    void showStartFailure(bool deviceUsable);
    // Opens the chosen device while the dialog waits, so that Start records at once.
    void prepareDevice();

    JobContext& m_context;
    cld::Mp3RecorderEngine& m_engine;
    cld::CaptureEngineProgress m_progress;
    int m_deviceId;
    QString m_deviceName;
    QString m_outputFile;
    QTimer* m_timer;
    CSignalMonitor* m_monitor;
    QLabel* m_file;
    QLabel* m_bitrate;
    QLabel* m_total;
    QLabel* m_free;
    QLabel* m_status;
    QPushButton* m_start;
    QPushButton* m_pause;
    QPushButton* m_stop;
};
