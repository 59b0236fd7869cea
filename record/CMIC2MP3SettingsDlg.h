#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
struct JobContext;

// "Calderine - MP3 Settings / Options" of the line-in recorder: bitrate, CBR or VBR,
// output folder and capture device.
class CMIC2MP3SettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 164;
    enum Control {
        kBitrateList = 1001,
        kSlider = 1025,
        kCbr = 1027,
        kVbr = 1028,
        kPrompt = 1047,
        kFolder = 1029,
        kBrowse = 1011,
        kAdvanced = 1024,
        kDevices = 1048,
    };

    // The advanced MP3 options dialog, when the program has one: it runs modally and
    // returns the VBR minimum bitrate it reports (nothing when it has none).
    using AdvancedOptions = std::function<std::optional<int>(JobContext&, QWidget* parent)>;
    static void setAdvancedOptions(AdvancedOptions dialog);

    CMIC2MP3SettingsDlg(JobContext& context, QWidget* parent = nullptr);

    int chosenDevice() const { return m_chosenDevice; }
    QString chosenDeviceName() const { return m_chosenDeviceName; }

    void accept() override;

private:
    void onSliderMoved(int position);
    void onListChanged(int index);
    void onRadio();
    void onBrowse();
    void onAdvanced();
    void storeBitrateChoice();

    JobContext& m_context;
    QComboBox* m_list;
    QSlider* m_slider;
    QRadioButton* m_cbr;
    QRadioButton* m_vbr;
    QLabel* m_prompt;
    QLineEdit* m_folder;
    QComboBox* m_devices;
    QPushButton* m_advanced;
    int m_chosenDevice = -1;
    QString m_chosenDeviceName;
};
