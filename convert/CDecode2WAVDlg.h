#pragma once

#include "CFolderFileDlg.h"

// MP3 or WMA to WAV, a folder or one file: input and output.
class CDecode2WAVDlg : public CFolderFileDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 168;
    enum class Source { Wma, Mp3 };

    CDecode2WAVDlg(JobContext& context, cld::engine::JobSpec& params, Source source,
                   QWidget* parent = nullptr);

protected:
    void browseInput() override;
    void browseOutput() override;
    bool acceptChoice() override { return true; }
    std::vector<std::string> folderInputs(const std::string& folder) const override;
    std::string outputExtension() const override { return ".wav"; }

private:
    Source m_source;
};
