#pragma once

#include "JobParameters.h"
#include "MessageService.h"

#include <QDialog>
#include <ctime>
#include <functional>
#include <map>
#include <string>

class CProgressBar;
class QLabel;
class QPushButton;
class QTimer;
struct GrabSelection;
struct JobContext;

// What the two progress dialogs share: their controls, the 500 ms refresh timer, the
// Abort button, the waits of the batch loop and the CD step that reads one track through
// the ripper object. The batch runs on the user-interface thread from the dialog's
// start; it pumps window events while it waits, so the timer and Abort keep working.
// When the batch ends the dialog closes itself.
class CBatchProgressDlg : public QDialog {
    Q_OBJECT
public:
    ~CBatchProgressDlg() override;

    int mode() const { return m_mode; }
    bool abortRequested() const { return m_abort; }
    // Whether the batch has run to its end ("Process completed." was shown).
    bool completed() const { return m_completed; }

    // The user's Abort (also Escape and the window's close button while the batch runs).
    void requestAbort();
    void reject() override;

protected:
    CBatchProgressDlg(JobContext& context, const JobParameters& params, int mode, int dialogId,
                      int titleStringId, bool samplesControl, QWidget* parent);

    // The batch of the dialog's mode.
    virtual void runBatch() = 0;
    // The timer's refresh of the figures.
    virtual void refreshFigures() = 0;
    // What Abort does beyond setting the flag (stopping the dialog's jobs).
    virtual void onAbort() {}

    // Waits about `milliseconds` while pumping events; ends early once `done` holds or
    // the user asked to abort.
    void waitUntil(int milliseconds, const std::function<bool()>& done);
    void setText(int controlId, const QString& text);
    void setText(int controlId, const std::string& text);
    QString text(int controlId) const;
    CProgressBar* bar(int controlId) const;
    void showFileCount(int index, int count);
    void showTimes(int64_t remainingSeconds);
    void showDiskSpace(const std::string& path);
    void setBarsToEnd();
    // Shows "Process completed." (after the bars reached their ends).
    void finishCompleted();
    void message(int stringId, MessageIcon icon, const QString& arg = QString());

    // How reading one CD track ended.
    enum class ReadResult { Done, Aborted, Failed };
    // Reads selected track `trackIndex` (0-based on the disc) into folder + baseName +
    // ".wav" through the ripper object, polling its status; a failure has been reported
    // when this returns Failed.
    ReadResult readCdTrack(int trackIndex, const std::string& folder, const std::string& baseName);
    // Deletes a temporary WAV file of a CD job.
    static void removeTemporary(const std::string& path);

    JobContext& m_context;
    JobParameters m_params;
    int m_mode;
    std::time_t m_jobStart = 0;
    std::time_t m_fileStart = 0;
    bool m_abort = false;
    bool m_completed = false;
    bool m_running = false;

private:
    void start();

    int m_titleStringId;
    std::map<int, QLabel*> m_values;
    std::map<int, CProgressBar*> m_bars;
    QPushButton* m_abortButton = nullptr;
    QTimer* m_timer = nullptr;
    QString m_driveName;
};
