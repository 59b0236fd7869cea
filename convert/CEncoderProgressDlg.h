#pragma once

#include "CBatchProgressDlg.h"

#include <memory>
#include <vector>

class WmEncoderControl;
class WmaDecodeJob;
class WmaEncodeJob;

// The WMA progress dialog. Modes: 1 CD-Audio -> WMA (reading track i + 1 while track i
// encodes), 2 folder of WAV and MP3 files -> WMA, 3 one file -> WMA, 4 folder of WMA
// files -> WAV, 5 WMA file -> WAV. It takes over the media encoder of the settings
// dialog (none in the decoding modes).
class CEncoderProgressDlg : public CBatchProgressDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 158;

    CEncoderProgressDlg(JobContext& context, const JobParameters& params, int mode,
                        std::unique_ptr<WmEncoderControl> encoder, QWidget* parent = nullptr);
    ~CEncoderProgressDlg() override;

protected:
    void runBatch() override;
    void refreshFigures() override;

private:
    enum class JobEnd { Done, Aborted, Failed };
    bool decoding() const { return m_mode >= 4; }
    // Configures and starts `encoder` on one file, for a CD track (`cdTrack`, 0-based on the
    // disc, tagged with the disc's names and `title`) or for a file (-1); false after the
    // message.
    bool startEncoding(WmaEncodeJob& encoder, const std::string& input, const std::string& output,
                       int cdTrack, const std::string& title, bool askToSkip);
    // Waits while `encoder` works on `input`; a failure is reported naming `input` or
    // `output`.
    JobEnd waitForEncoder(WmaEncodeJob& encoder, const std::string& input,
                          const std::string& output, int waitMs);
    // The dialog's encoder and up to `width` - 1 more for the same profile; fewer when the
    // profile collection of a further encoder lists another profile under the index.
    std::vector<WmaEncodeJob*> encoders(int width);
    // Reports the encoder's failure (a text of the media layer) and releases its group.
    void reportEncoderFailure(uint32_t code);
    // Reports the failure of one file's encoding (before or after the encoder started),
    // naming the input or output at fault; in a batch of several files asks whether to
    // skip it. True when the batch goes on.
    bool reportFileEncoderFailure(WmaEncodeJob& encoder, uint32_t code, const std::string& input,
                                  const std::string& output, bool started, bool askToSkip);
    // Sets the current bar's range from the input's duration: a WAV input gets the header
    // check (messages 154 and 155), any other input is measured by the media reader.
    void checkInput(const std::string& path, bool withMessages);
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
    WmaDecodeJob& shownDecoder() const;

    std::unique_ptr<WmaEncodeJob> m_encoder;
    // In the CD mode: the encoder of the first track in work, whose figures are shown.
    WmaEncodeJob* m_cdShownEncoder = nullptr;
    // How a failure of the file being encoded is handled: whether the user is asked to
    // skip it, and whether the batch goes on after it failed.
    bool m_askToSkip = false;
    bool m_goOn = false;
    std::unique_ptr<WmaDecodeJob> m_decoder;
    // The further encoders and decoders of a batch that runs several files at once.
    std::vector<std::unique_ptr<WmaEncodeJob>> m_moreEncoders;
};
