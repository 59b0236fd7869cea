#pragma once

#include "CFolderEncodeDlg.h"

#include <memory>

class QComboBox;
class WmEncoderControl;

// A folder of WAV and MP3 files, or one such file, to WMA: profile, input and output.
// The media encoder that lists the profiles is handed on to the progress dialog.
class CFolder2WMASettingsDlg : public CFolderEncodeDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 166;

    CFolder2WMASettingsDlg(JobContext& context, cld::engine::JobSpec& params,
                           QWidget* parent = nullptr);
    ~CFolder2WMASettingsDlg() override;
    std::unique_ptr<WmEncoderControl> takeEncoder();

protected:
    bool acceptChoice() override;

private:
    std::unique_ptr<WmEncoderControl> m_encoder;
    QComboBox* m_profiles = nullptr;
};
