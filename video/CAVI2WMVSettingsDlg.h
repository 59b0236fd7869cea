#pragma once

#include "CVideoSettingsDlg.h"
#include "ResourceIds.h"

class QLineEdit;
struct JobContext;

// Chooses the video file to convert, the WMV file to write and the profile (dialog 169).
// On OK the choices go to the video job state.
class CAVI2WMVSettingsDlg : public CVideoSettingsDlg {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_AVI2WMV_SETTINGS;
    enum Control {
        kInputEdit = 1006,
        kInputBrowse = 1008,
    };

    CAVI2WMVSettingsDlg(JobContext& context, QWidget* parent);

    void accept() override;

private:
    void browseInput();

    QLineEdit* m_input = nullptr;
};
