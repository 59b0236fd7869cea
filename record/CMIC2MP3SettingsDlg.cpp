#include "CMIC2MP3SettingsDlg.h"

#include "AppResources.h"
#include "JobContext.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "SettingsRecord.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

CMIC2MP3SettingsDlg::AdvancedOptions& advancedDialog() {
    static CMIC2MP3SettingsDlg::AdvancedOptions dialog;
    return dialog;
}

} // namespace

void CMIC2MP3SettingsDlg::setAdvancedOptions(AdvancedOptions dialog) {
    advancedDialog() = std::move(dialog);
}

CMIC2MP3SettingsDlg::CMIC2MP3SettingsDlg(JobContext& context, QWidget* parent)
    : CRecorderSettingsDlg(context, {kDialogId, kFolder, kBrowse, kDevices, 165, "MP3Recorder"},
                           parent) {
    using cld::controlText;
    const SettingsRecord& settings = context.settings;

    m_prompt = new QLabel(this);
    cld::tagControl(m_prompt, kPrompt);
    m_list = new QComboBox(this);
    cld::tagControl(m_list, kBitrateList);
    for (const char* text : cld::recorderBitrateTexts())
        m_list->addItem(QString::fromUtf8(text));
    m_slider = new QSlider(Qt::Horizontal, this);
    cld::tagControl(m_slider, kSlider);
    m_slider->setRange(8, 320);
    m_slider->setPageStep(1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(16);
    m_cbr = new QRadioButton(controlText(kDialogId, kCbr, "CBR (Constant BitRate)"), this);
    cld::tagControl(m_cbr, kCbr);
    m_vbr = new QRadioButton(controlText(kDialogId, kVbr, "VBR (Variable BitRate)"), this);
    cld::tagControl(m_vbr, kVbr);
    m_advanced = new QPushButton(controlText(kDialogId, kAdvanced, "&Advanced Options"), this);
    cld::tagControl(m_advanced, kAdvanced);
    m_advanced->setEnabled(static_cast<bool>(advancedDialog()));

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_prompt, 0, 0, 1, 3);
    grid->addWidget(m_list, 1, 0, 1, 3);
    grid->addWidget(m_slider, 2, 0, 1, 3);
    grid->addWidget(m_cbr, 3, 0);
    grid->addWidget(m_vbr, 3, 1);
    grid->addWidget(m_advanced, 3, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -1, "Output Folder:"), this), 4, 0);
    grid->addWidget(m_folder, 5, 0, 1, 2);
    grid->addWidget(m_browse, 5, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -2, "Capture device:"), this), 6, 0);
    grid->addWidget(m_devices, 7, 0, 1, 3);
    grid->addWidget(m_buttons, 8, 0, 1, 3);

    // Opening: folder, bitrate, CBR/VBR, slider, devices.
    m_folder->setText(QString::fromStdString(
        cld::proposedRecorderFolder(settings.lastWMAOutFolder(), "MP3Recorder")));
    m_list->setCurrentIndex(cld::initialBitrateIndex(settings.lastMP3Bitrate()));
    (settings.mp3BitrateType() == 0 ? m_cbr : m_vbr)->setChecked(true);
    onRadio();
    m_slider->setValue(cld::recorderLeadingNumber(m_list->currentText().toStdString()));
    fillDevices(DeviceData::number);

    connect(m_slider, &QSlider::sliderMoved, this, &CMIC2MP3SettingsDlg::onSliderMoved);
    // Keys and page clicks move the slider too; the position is already the new one.
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            onSliderMoved(m_slider->sliderPosition());
    });
    connect(m_list, &QComboBox::activated, this, &CMIC2MP3SettingsDlg::onListChanged);
    connect(m_cbr, &QRadioButton::clicked, this, &CMIC2MP3SettingsDlg::onRadio);
    connect(m_vbr, &QRadioButton::clicked, this, &CMIC2MP3SettingsDlg::onRadio);
    connect(m_advanced, &QPushButton::clicked, this, &CMIC2MP3SettingsDlg::onAdvanced);
}

void CMIC2MP3SettingsDlg::onSliderMoved(int position) {
    m_slider->setToolTip(QStringLiteral("%1 kbps").arg(position));
    const int index = cld::bitrateIndexForSlider(position);
    if (index >= 0)
        m_list->setCurrentIndex(index);
}

void CMIC2MP3SettingsDlg::onListChanged(int index) {
    if (index >= 0)
        m_slider->setValue(cld::recorderLeadingNumber(m_list->itemText(index).toStdString()));
}

void CMIC2MP3SettingsDlg::onRadio() {
    m_prompt->setText(AppResources::string(m_cbr->isChecked() ? 162 : 163));
}

void CMIC2MP3SettingsDlg::onAdvanced() {
    if (!advancedDialog())
        return;
    // The advanced dialog starts from the bitrate chosen here, so it is stored first.
    storeBitrateChoice();
    const std::optional<int> minimum = advancedDialog()(m_context, this);
    storeBitrateChoice();
    if (minimum)
        m_slider->setValue(*minimum);
}

void CMIC2MP3SettingsDlg::storeBitrateChoice() {
    m_context.settings.setLastMP3Bitrate(m_list->currentIndex());
    m_context.settings.setMp3BitrateType(m_cbr->isChecked() ? 0 : 1);
}

void CMIC2MP3SettingsDlg::acceptChoices() {
    cld::RecorderSession::Instance().mp3Bitrate = cld::chosenBitrate(m_list->currentIndex());
    storeBitrateChoice();
    m_chosenDevice = m_devices->currentIndex() >= 0 ? m_devices->currentData().toInt() : -1;
    m_chosenDeviceName = m_devices->currentText();
}
