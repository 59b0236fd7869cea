#pragma once

#include "CdPipeline.h"
#include "FileBatch.h"
#include "JobSpec.h"
#include "MessageService.h"

#include <QDialog>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CProgressBar;
class QLabel;
class QPushButton;
class QTimer;
struct JobContext;

// What the two progress dialogs share: their controls, the 500 ms refresh timer, the
// Abort button, and the observers of the engine's jobs they run: the file batch, and the
// CD job on a thread of its own. The dialog waits for a job with the window's events
// flowing, so the timer and Abort keep working. When the job ends the dialog closes
// itself.
class CBatchProgressDlg : public QDialog {
    Q_OBJECT
public:
    ~CBatchProgressDlg() override;

    cld::engine::JobMode mode() const { return m_params.mode; }
    bool abortRequested() const { return m_abort; }
    // Whether the batch has run to its end ("Process completed." was shown).
    bool completed() const { return m_completed; }
    // In a batch of several files: how many were converted, and the files the user chose
    // to skip after they failed.
    int convertedCount() const { return m_converted; }
    const std::vector<std::string>& skippedFiles() const { return m_skipped; }

    // The user's Abort (also Escape and the window's close button while the batch runs).
    void requestAbort();
    void reject() override;

protected:
    CBatchProgressDlg(JobContext& context, const cld::engine::JobSpec& params, int dialogId,
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
    // Repaints the window and waits until it has been drawn, at most `milliseconds`: the
    // user sees the window before the work starts and the full bars before the last
    // message, without a fixed pause when drawing is quick.
    void waitUntilPainted(int milliseconds);
    void paintEvent(QPaintEvent* event) override;
    void setText(int controlId, const QString& text);
    void setText(int controlId, const std::string& text);
    QString text(int controlId) const;
    CProgressBar* bar(int controlId) const;
    void showFileCount(int index, int count);
    void showTimes(int64_t remainingSeconds);
    void showDiskSpace(const std::string& path);
    void setBarsToEnd();
    // Shows "Process completed." (after the bars reached their ends); in a batch of several
    // files it also says how many were converted and names the skipped ones.
    void finishCompleted();
    // Shows how a batch of several files that stopped before its end fared: how many were
    // converted, the skipped files and the files not converted.
    void finishStopped();
    // Starts the counts of a batch of `total` files.
    void beginFileBatch(int total);
    void countConverted() { ++m_converted; }
    // Reports a file that failed: message `stringId` with the name of the file at fault
    // (input or output) and the reason (a text of the media layer; none when empty). With
    // `askToSkip` the user is asked whether to skip the batch's `input` and go on; returns
    // true when the batch goes on (the input is then listed as skipped).
    bool reportFileFailure(int stringId, const std::string& file, const std::string& reason,
                           bool askToSkip, const std::string& input, int addedStringId = 0);
    // The paths of a batch of several files: an explicit list, or the files of the input
    // folder with `extension`.
    std::vector<std::string> batchFiles(const std::string& extension) const;
    // As batchFiles, for the encoding modes: every audio file of the folder they take.
    std::vector<std::string> batchAudioFiles() const;
    bool isFileBatch() const { return cld::engine::isFolderMode(m_params.mode); }
    bool isCdJob() const { return m_params.mode == cld::engine::JobMode::CdEncode; }
    void message(int stringId, MessageIcon icon, const QString& arg = QString());
    // The reason of a failure code for a message, in the chosen language (empty for 0).
    static std::string reasonText(uint32_t detail);

    // How a file batch ended: every file had its turn, the user's Abort, or a stop after a
    // failure (the user's "No", or a full disk).
    enum class FileBatchEnd { Completed, Aborted, Stopped };
    // Runs the engine's file batch over `files` on workers made by `makeWorker`, up to one
    // file per worker at once (in the single-file modes the one input to the chosen
    // output, without a question), as its observer: shows the files in work ("3-4 of
    // 100"), the file started first on the current bar and the batch on the overall bar,
    // asks about taken names and whether to skip each failed file, and stops every worker
    // on Abort. Files cut short by Abort are kept as NAME.part and listed in
    // `keptPartials`. `waitMs` is the longest wait between two looks at the workers.
    FileBatchEnd runFileBatch(const std::vector<std::string>& files,
                              const std::string& outputExtension,
                              const cld::engine::WorkerFactory& makeWorker,
                              std::vector<std::string>& keptPartials, int waitMs);
    // The number of jobs a batch of `count` files runs at once (at least 1).
    int parallelWidth(size_t count) const;
    // The place among the batch's workers (in the order they were made) of the file the
    // figures show (the one started first); -1 between files.
    size_t shownWorkerPlace() const;
    // Whether a batch of several files runs (its figures are the batch's).
    bool fileBatchRuns() const { return m_fileJob != nullptr; }
    // Shows the figures of the running file batch: the elapsed and estimated time, the
    // share of its audio done on the overall bar, the bytes written and the speed of all
    // its jobs together; a figure the batch cannot know shows a dash.
    void showFileBatchFigures();
    // The message of a failed file of a batch.
    virtual int failureStringId(const cld::engine::ItemFailure& failure) const = 0;
    // "Process aborted by user !", naming partial files kept, if any.
    void reportAbortKeeping(const std::vector<std::string>& keptPartials);
    // The same for one kept file, or none.
    void reportAbort(const std::string& keptPartial = {});
    // The same for a CD job's kept files: the one-file text for one, the list for more.
    void reportCdAbort(const std::vector<std::string>& keptPartials);

    // The CD job: the grabber's ticked tracks are read one after another while the tracks
    // read before encode with the registry's `encoder` (set up by `options`) on up to the
    // chosen number of encoders, on a thread of its own; the dialog shows where it stands
    // and says how it ended. Every name is settled before the first track is read (taken
    // names are asked about once); the rip log, cue sheet and cover come with a whole
    // rip; with `replayGain` the files get their loudness values, the album's at the end.
    void runCdJob(const std::string& encoder, const cld::engine::EncoderOptions& options,
                  bool replayGain);
    // A job's figures: the time of the item shown and of the job, the estimate, the output
    // size and the speed (a dash for what the job cannot know).
    void showJobFigures(const cld::engine::Progress& progress);
    // The figures of the running CD job: times, output size and speed.
    void showCdFigures();
    // The message of a CD track whose encoding with `encoder` failed.
    static int cdFailureStringId(const cld::engine::ItemFailure& failure,
                                 const std::string& encoder);

    JobContext& m_context;
    cld::engine::JobSpec m_params;
    std::time_t m_jobStart = 0;
    std::time_t m_fileStart = 0;
    bool m_abort = false;
    bool m_completed = false;
    bool m_running = false;
    int m_total = 0;
    int m_converted = 0;
    std::vector<std::string> m_skipped;
    // The inputs of a stopped batch that were neither converted nor skipped.
    std::vector<std::string> m_notConverted;
    // CD tracks saved whole but not read exactly, one line each ("name: what happened").
    std::vector<std::string> m_inexactTracks;

private:
    void start();

    int m_titleStringId;
    std::map<int, QLabel*> m_values;
    std::map<int, CProgressBar*> m_bars;
    QPushButton* m_abortButton = nullptr;
    QTimer* m_timer = nullptr;
    QString m_driveName;
    class BatchObserver;
    friend class BatchObserver;
    // While runFileBatch runs: the engine's job, its workers and its last figures.
    cld::engine::FileBatch* m_fileJob = nullptr;
    cld::engine::Progress m_batchProgress;
    bool m_batchStopped = false;
    bool m_abortCursor = false;
    bool m_painted = false;
    // While a CD job runs: the job (Abort cancels it) and its last figures.
    cld::engine::CdPipeline* m_cdJob = nullptr;
    cld::engine::Progress m_cdProgress;
};
