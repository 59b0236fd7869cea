#pragma once

#include "CBatchProgressDlg.h"
#include "FileWorkers.h"

#include <memory>
#include <vector>

class CodecJob;
class Mp3DecodeJob;
class Mp3EncodeJob;

// The MP3 progress dialog. Modes: 1 CD-Audio -> MP3 (reading track i + 1 while track i
// encodes), 2 folder of WAV files -> MP3, 3 WAV file -> MP3, 4 folder of MP3 files ->
// WAV, 5 MP3 file -> WAV.
class CMP3EncoderProgressDlg : public CBatchProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 159;

    CMP3EncoderProgressDlg(JobContext& context, const JobParameters& params, int mode,
                           QWidget* parent = nullptr);
    ~CMP3EncoderProgressDlg() override;

protected:
    void runBatch() override;
    void refreshFigures() override;
    void onAbort() override;

private:
    // Performance and samples per second, shown once the job has measured them.
    void showRates(const CodecJob& job);
    enum class JobEnd { Done, Aborted, Failed };
    bool decoding() const { return m_mode >= 4; }
    // Starts the job on input -> output; false when it did not start (not reported yet)
    // or Abort has been pressed.
    bool startJob(CodecJob& job, const std::string& input, const std::string& output);
    // The encoder's settings from the settings record and the chosen bitrate.
    cld::engine::Mp3EncodeSettings encodeSettings() const;
    int failureStringId(const cld::engine::ItemFailure& failure) const override;
    // Waits for the running job. Once Abort has been pressed the job counts as aborted,
    // also when it ended by itself meanwhile.
    JobEnd waitForJob(CodecJob& job, int waitMs);
    // Reports the failure of the job's last run, naming the file at fault; in a batch of
    // several files asks whether to skip it. True when the batch goes on.
    bool reportJobFailure(const CodecJob& job, bool askToSkip);
    void runFiles();
    // A batch of files, up to the chosen number at once (one file in the single-file modes).
    void runFileBatchOf(const std::vector<std::string>& files);
    // The jobs of the file the figures show.
    CodecJob& shownJob() const;
    void runCd();

    std::unique_ptr<Mp3EncodeJob> m_encoder;
    std::unique_ptr<Mp3DecodeJob> m_decoder;
    // The further jobs of a batch that runs several files at once.
    std::vector<std::unique_ptr<CodecJob>> m_moreJobs;
    // In the CD mode: the encoder of the first track in work, whose figures are shown.
    CodecJob* m_cdShownJob = nullptr;
};
