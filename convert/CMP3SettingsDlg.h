#pragma once

#include <QDialog>

class Mp3BitratePanel;
class QLineEdit;
struct JobContext;
struct JobParameters;

// MP3 settings of a CD job: bitrate and the output folder (remembered folder + artist +
// " - " + album). On OK the folder exists, and the parameters and settings hold the
// choice.
class CMP3SettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 160;

    CMP3SettingsDlg(JobContext& context, JobParameters& params, QWidget* parent = nullptr);

    void accept() override;
    Mp3BitratePanel* bitratePanel() const { return m_panel; }

private:
    void browseOutput();

    JobContext& m_context;
    JobParameters& m_params;
    Mp3BitratePanel* m_panel = nullptr;
    QLineEdit* m_output = nullptr;
};
