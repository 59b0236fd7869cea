#pragma once

#include <QDialog>
#include <QPointer>

class CProgressBar;
class QLabel;
class QPushButton;

// The small window shown while tracks are read from the CD: the current track, the
// jitter count, three bars and Abort. It only shows what its owner pushes into it and
// remembers whether Abort was pressed; the owner polls it between status reads. While it
// is up, the owner's window is disabled; every way out enables it again.
class CReadingProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 149;
    static constexpr int kTrackText = 1011;
    static constexpr int kJitterText = 1083;
    static constexpr int kStatusText = 1131;
    static constexpr int kTrackBar = 1009;
    static constexpr int kOverallBar = 1010;
    static constexpr int kPeakBar = 1012;
    static constexpr int kAbort = 2;

    CReadingProgressDlg();
    ~CReadingProgressDlg() override;

    // Disables the owner's top-level window (when it is enabled) and shows the window
    // over it. False when it could not be shown (the window is enabled again).
    bool OpenProgress(QWidget* owner);
    void SetTrackText(const QString& text);
    void SetJitterText(const QString& text);
    CProgressBar* bar(int id) const;
    // Handles pending window events, then returns whether Abort was pressed since the
    // last call (and forgets it).
    bool WasAborted();
    // Waits 100 ms, enables the owner's window again and hides this one.
    void CloseProgress();

    bool isOpen() const { return m_open; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void enableOwner();

    QLabel* m_track;
    QLabel* m_jitter;
    QLabel* m_status;
    CProgressBar* m_trackBar;
    CProgressBar* m_overallBar;
    CProgressBar* m_peakBar;
    QPushButton* m_abort;
    QPointer<QWidget> m_disabledWindow;
    bool m_open = false;
    bool m_aborted = false;
};
