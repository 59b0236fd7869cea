#pragma once

#include "CCdSettingsDlg.h"

class Mp3BitratePanel;

// MP3 settings of a CD job: bitrate and the output folder (remembered folder + artist +
// " - " + album). On OK the folder exists, and the parameters and settings hold the
// choice.
class CMP3SettingsDlg : public CCdSettingsDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 160;

    CMP3SettingsDlg(JobContext& context, cld::engine::JobSpec& params, QWidget* parent = nullptr);

    Mp3BitratePanel* bitratePanel() const { return m_panel; }

protected:
    void storeChoice() override;

private:
    Mp3BitratePanel* m_panel = nullptr;
};
