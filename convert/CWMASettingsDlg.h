#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QLineEdit;
class WmEncoderControl;
struct JobContext;
struct JobParameters;

// WMA settings of a CD job: the audio profile and the output folder. The media encoder
// that lists the profiles is handed on to the progress dialog (takeEncoder).
class CWMASettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 157;

    CWMASettingsDlg(JobContext& context, JobParameters& params, QWidget* parent = nullptr);
    ~CWMASettingsDlg() override;

    void accept() override;
    std::unique_ptr<WmEncoderControl> takeEncoder();

private:
    void browseOutput();

    JobContext& m_context;
    JobParameters& m_params;
    std::unique_ptr<WmEncoderControl> m_encoder;
    QComboBox* m_profiles = nullptr;
    QLineEdit* m_output = nullptr;
};
