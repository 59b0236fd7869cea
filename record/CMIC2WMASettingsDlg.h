#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
struct JobContext;

// "Calderine - LineIn/MIC Recorder - WMA Settings": an audio-only media profile, the
// capture device and the output folder.
class CMIC2WMASettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 161;
    enum Control { kProfiles = 1001, kDevices = 1048, kFolder = 1007, kBrowse = 1011 };

    CMIC2WMASettingsDlg(JobContext& context, QWidget* parent = nullptr);

    // The chosen device as "DEVICE://" + its name.
    QString chosenDeviceUrl() const { return m_deviceUrl; }

    void accept() override;

private:
    void onBrowse();

    JobContext& m_context;
    QComboBox* m_profiles;
    QComboBox* m_devices;
    QLineEdit* m_folder;
    QString m_deviceUrl;
};
