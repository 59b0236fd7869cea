#pragma once

#include "ResourceIds.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
struct JobContext;

// Chooses the capture devices, the WMV file to write and the profile (dialog 171). On OK
// the choices go to the video job state.
class CCapture2WMVSettingsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_CAPTURE2WMV_SETTINGS;
    enum Control {
        kProfileList = 1001,
        kVideoList = 1002,
        kAudioList = 1003,
        kOutputEdit = 1007,
        kOutputBrowse = 1011,
    };

    CCapture2WMVSettingsDlg(JobContext& context, QWidget* parent);

    void accept() override;

private:
    void browseOutput();
    void saveProfileIndex();

    JobContext& m_context;
    QListWidget* m_profiles = nullptr;
    QComboBox* m_video = nullptr;
    QComboBox* m_audio = nullptr;
    QLineEdit* m_output = nullptr;
    // The output the save dialog last returned: its own overwrite question was asked.
    QString m_confirmedOutput;
};
