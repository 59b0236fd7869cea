#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSlider;
class SettingsRecord;

// Advanced MP3 options: VBR method and quality, overall quality, channel mode, the VBR
// bitrate bounds, the four header flags, whether MP3 files get a UTF-8 tag and whether
// it carries ReplayGain values. The "VBR Minimum
// Bitrate" field holds kbit/s and starts from the calling dialog's selected bitrate; the caller
// moves its slider (and its list follows) to the field's value when the dialog has closed.
class CMP3AdvancedSettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 162;

    CMP3AdvancedSettingsDlg(SettingsRecord& settings, int minimumKbps, int listIndex,
                            QWidget* parent = nullptr);

    // The "VBR Minimum Bitrate" value: what the dialog opened with, or what was
    // accepted.
    int minimumBitrate() const { return m_minimum; }

    void accept() override;

private:
    void showValues(int method, int vbrQuality, int quality, int channels, int maximum, int mean,
                    int minimum);
    void setDefaults();
    // Reads one field; shows the message and focuses the field when it is wrong.
    bool readField(QLineEdit* edit, int lo, int hi, int& value);

    SettingsRecord& m_settings;
    int m_minimum;
    int m_listIndex;
    QRadioButton* m_method[3] = {};
    QSlider* m_vbrQuality = nullptr;
    QSlider* m_quality = nullptr;
    QRadioButton* m_channels[5] = {};
    QLineEdit* m_minEdit = nullptr;
    QLineEdit* m_maxEdit = nullptr;
    QLineEdit* m_meanEdit = nullptr;
    QCheckBox* m_private = nullptr;
    QCheckBox* m_copyrighted = nullptr;
    QCheckBox* m_original = nullptr;
    QCheckBox* m_crc = nullptr;
    QCheckBox* m_id3v2 = nullptr;
    QCheckBox* m_replayGain = nullptr;
};
