#pragma once

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;
struct JobContext;

// What the two recorder settings dialogs share: the capture-device list, the output
// folder with its browse button, OK and Cancel, and the checks on OK. Each dialog adds
// its encoder's own controls and lays them out.
class CRecorderSettingsDlg : public QDialog {
    Q_OBJECT
public:
    void accept() override;

protected:
    // `folderControl`, `browseControl` and `devicesControl` are the dialog's ids of the
    // shared controls; `folderPicker` is the string id of the folder picker's prompt;
    // `browsedFolderName` is the sub-folder proposed below a browsed folder.
    struct Shape {
        int dialogId;
        int folderControl;
        int browseControl;
        int devicesControl;
        int folderPicker;
        const char* browsedFolderName;
    };
    CRecorderSettingsDlg(JobContext& context, const Shape& shape, QWidget* parent);

    // What each entry of the device list carries: its number in the device list, or the
    // URL of its sound-system name that the media encoder takes ("DEVICE://" + name).
    enum class DeviceData { number, Url };
    // Fills the device list: every device that can record, a busy one too (marked), so
    // that nothing vanishes from the list without a word; the start says what keeps a
    // device from recording.
    void fillDevices(DeviceData carried);
    // The encoder's own part of OK, after the shared checks passed and the folder is made.
    virtual void acceptChoices() = 0;

    JobContext& m_context;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QComboBox* m_devices;
    QDialogButtonBox* m_buttons;

private:
    void onBrowse();

    Shape m_shape;
};
