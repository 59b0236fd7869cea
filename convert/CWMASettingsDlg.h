#pragma once

#include "CCdSettingsDlg.h"

#include <memory>

class QComboBox;
class WmEncoderControl;

// WMA settings of a CD job: the audio profile and the output folder. The media encoder
// that lists the profiles is handed on to the progress dialog (takeEncoder).
class CWMASettingsDlg : public CCdSettingsDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 157;

    CWMASettingsDlg(JobContext& context, cld::engine::JobSpec& params, QWidget* parent = nullptr);
    ~CWMASettingsDlg() override;

    std::unique_ptr<WmEncoderControl> takeEncoder();

protected:
    bool choiceReady() override;
    void storeChoice() override;

private:
    std::unique_ptr<WmEncoderControl> m_encoder;
    QComboBox* m_profiles = nullptr;
};
