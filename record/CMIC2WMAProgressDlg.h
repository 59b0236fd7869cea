#pragma once

#include "CRecorderProgressDlg.h"

#include <ctime>

class QLabel;
class QPushButton;
class QTimer;
struct JobContext;

// "Calderine - LineIn / MIC to WMA Recording Status": the media encoder records from the
// capture device into a WMA file while the dialog shows time, disk space and bitrate.
class CMIC2WMAProgressDlg : public CRecorderProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 163;
    enum Control {
        kElapsed = 1020,
        kTotalSpace = 1053,
        kFreeSpace = 1052,
        kDevice = 1017,
        kFile = 1016,
        kBitrate = 1054,
        kStatus = 1011,
        kStart = 1051,
        kStop = 1049,
    };
    static constexpr int kTimerMs = 600;

    CMIC2WMAProgressDlg(JobContext& context, const QString& deviceUrl, QWidget* launcher = nullptr);
    // Stops the encoder and releases it.
    ~CMIC2WMAProgressDlg() override;

    QString outputFile() const { return m_outputFile; }

    // Records until Stop, Exit or a failure; the dialog stays responsive meanwhile.
    void onStart();
    void onStop();
    void onExit() override;

private:
    class RecordingObserver;
    friend class RecordingObserver;
    void onTimer();

    JobContext& m_context;
    QString m_deviceUrl;
    bool m_stopFlag = false;
    bool m_running = false;
    std::time_t m_startTime = 0;
    QString m_outputFile;
    QTimer* m_timer;
    QLabel* m_elapsed;
    QLabel* m_total;
    QLabel* m_free;
    QLabel* m_device;
    QLabel* m_file;
    QLabel* m_bitrate;
    QLabel* m_status;
    QPushButton* m_start;
    QPushButton* m_stop;
};
