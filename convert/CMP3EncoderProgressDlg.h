#pragma once

#include "CBatchProgressDlg.h"
#include "FileWorkers.h"

#include <memory>
#include <vector>

class Mp3DecodeJob;
class Mp3EncodeJob;

// The MP3 progress dialog, for the job its JobSpec's mode names: CD-Audio -> MP3 (reading
// track i + 1 while earlier tracks encode), a folder of audio files -> MP3, one file ->
// MP3, a folder of MP3 files -> WAV, one MP3 file -> WAV.
class CMP3EncoderProgressDlg : public CBatchProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 159;

    CMP3EncoderProgressDlg(JobContext& context, const cld::engine::JobSpec& params,
                           QWidget* parent = nullptr);
    ~CMP3EncoderProgressDlg() override;

protected:
    void runBatch() override;
    void refreshFigures() override;
    void onAbort() override;

private:
    bool decoding() const { return cld::engine::isDecodeMode(m_params.mode); }
    // The encoder's settings from the settings record and the chosen bitrate.
    cld::engine::Mp3EncodeSettings encodeSettings() const;
    int failureStringId(const cld::engine::ItemFailure& failure) const override;
    void runFiles();
    // A batch of files, up to the chosen number at once (one file in the single-file modes).
    void runFileBatchOf(const std::vector<std::string>& files);
    // The CD mode: the CD job with the MP3 encoder set up as the file modes are.
    void runCd();

    std::unique_ptr<Mp3EncodeJob> m_encoder;
    std::unique_ptr<Mp3DecodeJob> m_decoder;
};
