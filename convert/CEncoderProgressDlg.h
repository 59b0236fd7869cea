#pragma once

#include "CBatchProgressDlg.h"

#include <memory>
#include <vector>

class WmEncoderControl;
class WmaDecodeJob;
class WmaEncodeJob;

// The WMA progress dialog, for the job its JobSpec's mode names: CD-Audio -> WMA (reading
// track i + 1 while earlier tracks encode), a folder of WAV and MP3 files -> WMA, one
// file -> WMA, a folder of WMA files -> WAV, one WMA file -> WAV. It takes over the media
// encoder of the settings dialog (none in the decoding modes).
class CEncoderProgressDlg : public CBatchProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 158;

    CEncoderProgressDlg(JobContext& context, const cld::engine::JobSpec& params,
                        std::unique_ptr<WmEncoderControl> encoder, QWidget* parent = nullptr);
    ~CEncoderProgressDlg() override;

protected:
    void runBatch() override;
    void refreshFigures() override;

private:
    bool decoding() const { return cld::engine::isDecodeMode(m_params.mode); }
    // The dialog's encoder and up to `width` - 1 more for the same profile; fewer when the
    // profile collection of a further encoder lists another profile under the index.
    std::vector<WmaEncodeJob*> encoders(int width);
    // Reports the encoder's failure (a text of the media layer) and releases its group.
    void reportEncoderFailure(uint32_t code);
    // Sets the current bar's range from the input's duration: a WAV input gets the header
    // check (messages 154 and 155), any other input is measured by the media reader.
    void checkInput(const std::string& path, bool withMessages);
    // The CD mode: the CD job with the WMA encoder on the chosen profile.
    void runCd();
    void runFiles();
    void runDecode();
    // A batch of files, up to the chosen number at once (one file in the single-file modes).
    void encodeFiles(const std::vector<std::string>& files);
    void decodeFiles(const std::vector<std::string>& files);
    // Runs a file batch and says how it ended.
    void finishFileBatch(const std::vector<std::string>& files, const std::string& extension,
                         const cld::engine::WorkerFactory& makeWorker, int waitMs);
    int failureStringId(const cld::engine::ItemFailure& failure) const override;
    // The encoders of the file the figures show.
    WmaEncodeJob& shownEncoder() const;

    std::unique_ptr<WmaEncodeJob> m_encoder;
    std::unique_ptr<WmaDecodeJob> m_decoder;
    // The further encoders and decoders of a batch that runs several files at once.
    std::vector<std::unique_ptr<WmaEncodeJob>> m_moreEncoders;
    // While a batch encodes: its encoders, in the order its workers were made.
    std::vector<WmaEncodeJob*> m_pool;
};
