#pragma once

#include "CFolderEncodeDlg.h"

class Mp3BitratePanel;

// A folder of WAV files, or one WAV file, to MP3: bitrate, input and output.
class CFolder2MP3SettingsDlg : public CFolderEncodeDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 167;

    CFolder2MP3SettingsDlg(JobContext& context, cld::engine::JobSpec& params,
                           QWidget* parent = nullptr);
    Mp3BitratePanel* bitratePanel() const { return m_panel; }

protected:
    bool acceptChoice() override;

private:
    Mp3BitratePanel* m_panel = nullptr;
};
