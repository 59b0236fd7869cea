#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QRadioButton;
class QSlider;
class SettingsRecord;

// The bitrate part every MP3 settings dialog shares: the bitrate list, the slider that
// moves through it, the CBR/VBR choice and the advanced options.
class Mp3BitratePanel : public QWidget {
    Q_OBJECT
public:
    Mp3BitratePanel(SettingsRecord& settings, int dialogId, QWidget* parent);

    int listIndex() const;
    void setListIndex(int index);
    bool isVbr() const;
    // kbit/s of the selected entry (128 when it has none in 8..320).
    int encodingBitrate() const;
    // Stores "LastMP3Bitrate" (the list index) and "MP3BitrateType".
    void storeChoice();

    // Moves the slider; the list follows by the slider rule.
    void moveSlider(int position);
    void openAdvanced();

private:
    void onSliderMoved(int position);
    void onTypeClicked();

    SettingsRecord& m_settings;
    int m_dialogId;
    QLabel* m_label = nullptr;
    QComboBox* m_list = nullptr;
    QSlider* m_slider = nullptr;
    QRadioButton* m_cbr = nullptr;
    QRadioButton* m_vbr = nullptr;
};
