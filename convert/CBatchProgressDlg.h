#pragma once

#include "FileBatch.h"
#include "JobParameters.h"
#include "MessageService.h"
#include "VerifiedRip.h"

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
    // In a batch of several files: how many were converted, and the files the user chose
    // to skip after they failed.
    int convertedCount() const { return m_converted; }
    const std::vector<std::string>& skippedFiles() const { return m_skipped; }

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
    bool isFileBatch() const { return m_mode == 2 || m_mode == 4; }
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
    // The worker whose file the figures show (the one started first), none between files.
    cld::engine::FileWorker* shownWorker() const;
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

    // The files of one selected track of a CD job: its title (the grabber's name as it
    // came, for the tags; "TrackN" without one), its base name (artist - title, made by
    // the one file-name rule), its temporary WAV (in the job's own temporary folder) and
    // its output (distinct from every other output of the job).
    struct CdTrackFiles {
        int track = 0; // 0-based on the disc
        std::string title;
        std::string base;
        std::string wav;
        std::string output;
    };
    // Plans every file of a CD job before anything is read: the tracks' outputs in the
    // output folder, the log and cue sheet, and a temporary folder of the job's own for
    // the WAV files it encodes. When some final names are taken, asks once (Replace /
    // Keep both / Cancel). False when the job must not start: the user cancelled, or the
    // temporary folder could not be made (reported).
    bool prepareCdFiles(const std::string& outputExtension);
    // The plan's files of the `index`-th selected track.
    const CdTrackFiles& cdTrackFiles(int index) const;
    // Whether the user agreed to replace regular files at the outputs' names.
    bool cdReplaceExisting() const { return m_cdReplace; }
    // A track's output is complete under its name.
    void noteCdOutputComplete(const std::string& output);
    // Keeps a track's output that Abort cut short as NAME.part (keepAsPartial) and notes
    // it; returns the new name (empty when there was nothing to keep).
    std::string keepCdPartial(const std::string& output);
    // The end of a CD job, however it ended: a job that did not run to its end rewrites
    // its log and cue sheet to say so and to describe the files as they are; then the
    // job's temporary folder goes, with whatever is left in it (all of it the job's own
    // files).
    void endCdJob();
    // The first job of `pool` that no entry of `busy` (with a `job` member) holds.
    template <class Job, class Busy>
    static Job* idleJob(const std::vector<Job*>& pool, const Busy& busy) {
        for (Job* job : pool) {
            bool held = false;
            for (const auto& entry : busy)
                held = held || entry.job == job;
            if (!held)
                return job;
        }
        return nullptr;
    }

    // How reading one CD track ended.
    enum class ReadResult { Done, Aborted, Failed };
    // Reads a selected track into its temporary WAV through the ripper object, polling
    // its status; a failure has been reported when this returns Failed. A whole track
    // read is recorded in the rip log and cue sheet beside its output.
    ReadResult readCdTrack(const CdTrackFiles& files);
    // Writes the rip log and cue sheet with a whole track just read (not for intro reads).
    void recordWholeTrack(int trackIndex, const std::string& wavPath, const std::string& outputPath,
                          int endSeconds);
    // Deletes a temporary WAV file of a CD job (only ever one in the job's own folder).
    static void removeTemporary(const std::string& path);

    JobContext& m_context;
    JobParameters m_params;
    int m_mode;
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
    std::vector<cld::engine::FileWorker*> m_batchWorkers;
    cld::engine::Progress m_batchProgress;
    bool m_batchStopped = false;
    bool m_abortCursor = false;
    bool m_painted = false;
    std::vector<CdTrackFiles> m_cdFiles;
    std::string m_cdTempFolder;
    cld::RipLogJob m_cdLog;
    bool m_cdReplace = false;
    std::vector<std::string> m_cdComplete;
    std::vector<std::pair<std::string, std::string>> m_cdKept;
};
