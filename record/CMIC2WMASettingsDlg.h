#pragma once

#include "CRecorderSettingsDlg.h"

class QComboBox;

// "Calderine - LineIn/MIC Recorder - WMA Settings": an audio-only media profile, the
// capture device and the output folder.
class CMIC2WMASettingsDlg : public CRecorderSettingsDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 161;
    enum Control { kProfiles = 1001, kDevices = 1048, kFolder = 1007, kBrowse = 1011 };

    CMIC2WMASettingsDlg(JobContext& context, QWidget* parent = nullptr);

    // The chosen device as "DEVICE://" + its name.
    QString chosenDeviceUrl() const { return m_deviceUrl; }

private:
    void acceptChoices() override;

    QComboBox* m_profiles;
    QString m_deviceUrl;
};
