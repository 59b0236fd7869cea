#pragma once

#include "CVideoSettingsDlg.h"
#include "ResourceIds.h"

class QComboBox;
struct JobContext;

// Chooses the capture devices, the WMV file to write and the profile (dialog 171). On OK
// the choices go to the video job state.
class CCapture2WMVSettingsDlg : public CVideoSettingsDlg {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_CAPTURE2WMV_SETTINGS;
    enum Control {
        kVideoList = 1002,
        kAudioList = 1003,
    };

    CCapture2WMVSettingsDlg(JobContext& context, QWidget* parent);

    void accept() override;

private:
    QComboBox* m_video = nullptr;
    QComboBox* m_audio = nullptr;
};
