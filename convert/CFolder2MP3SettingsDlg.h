#pragma once

#include "CFolderFileDlg.h"

class Mp3BitratePanel;

// A folder of WAV files, or one WAV file, to MP3: bitrate, input and output.
class CFolder2MP3SettingsDlg : public CFolderFileDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 167;

    CFolder2MP3SettingsDlg(JobContext& context, JobParameters& params, QWidget* parent = nullptr);
    Mp3BitratePanel* bitratePanel() const { return m_panel; }

protected:
    void browseInput() override;
    void browseOutput() override;
    bool acceptChoice() override;

private:
    Mp3BitratePanel* m_panel = nullptr;
};
