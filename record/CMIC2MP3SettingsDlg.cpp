#include "CMIC2MP3SettingsDlg.h"

#include "AppResources.h"
#include "CaptureDevices.h"
#include "JobContext.h"
#include "MessageService.h"
#include "PickerService.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"

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
    : QDialog(parent), m_context(context) {
    using cld::controlText;
    cld::tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
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
    m_folder = new QLineEdit(this);
    cld::tagControl(m_folder, kFolder);
    auto* browse = new QPushButton(controlText(kDialogId, kBrowse, "..."), this);
    cld::tagControl(browse, kBrowse);
    m_devices = new QComboBox(this);
    cld::tagControl(m_devices, kDevices);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cld::tagControl(buttons->button(QDialogButtonBox::Ok), cld::kIdOk);
    cld::tagControl(buttons->button(QDialogButtonBox::Cancel), cld::kIdCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMIC2MP3SettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_prompt, 0, 0, 1, 3);
    grid->addWidget(m_list, 1, 0, 1, 3);
    grid->addWidget(m_slider, 2, 0, 1, 3);
    grid->addWidget(m_cbr, 3, 0);
    grid->addWidget(m_vbr, 3, 1);
    grid->addWidget(m_advanced, 3, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -1, "Output Folder:"), this), 4, 0);
    grid->addWidget(m_folder, 5, 0, 1, 2);
    grid->addWidget(browse, 5, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -2, "Capture Device:"), this), 6, 0);
    grid->addWidget(m_devices, 7, 0, 1, 3);
    grid->addWidget(buttons, 8, 0, 1, 3);

    // Opening: folder, bitrate, CBR/VBR, slider, devices.
    m_folder->setText(QString::fromStdString(
        cld::proposedRecorderFolder(settings.lastWMAOutFolder(), "MP3Recorder")));
    m_list->setCurrentIndex(cld::initialBitrateIndex(settings.lastMP3Bitrate()));
    (settings.mp3BitrateType() == 0 ? m_cbr : m_vbr)->setChecked(true);
    onRadio();
    m_slider->setValue(cld::recorderLeadingNumber(m_list->currentText().toStdString()));
    // Every device that can record, a busy one too (marked), so that nothing vanishes
    // from the list without a word; the start says what keeps a device from recording.
    const auto devices = cld::listCaptureDevices();
    for (size_t i = 0; i < devices.size(); ++i) {
        QString text = QString::fromStdString(devices[i].productName);
        if (devices[i].busy)
            text += QLatin1Char(' ') + cld::recorderTableText(cld::IDS_CAPTURE_DEVICE_BUSY_NOTE);
        m_devices->addItem(text, static_cast<int>(i));
    }
    if (m_devices->count() > 0)
        m_devices->setCurrentIndex(0);

    connect(m_slider, &QSlider::sliderMoved, this, &CMIC2MP3SettingsDlg::onSliderMoved);
    // Keys and page clicks move the slider too; the position is already the new one.
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            onSliderMoved(m_slider->sliderPosition());
    });
    connect(m_list, &QComboBox::activated, this, &CMIC2MP3SettingsDlg::onListChanged);
    connect(m_cbr, &QRadioButton::clicked, this, &CMIC2MP3SettingsDlg::onRadio);
    connect(m_vbr, &QRadioButton::clicked, this, &CMIC2MP3SettingsDlg::onRadio);
    connect(browse, &QPushButton::clicked, this, &CMIC2MP3SettingsDlg::onBrowse);
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

void CMIC2MP3SettingsDlg::onBrowse() {
    const QString chosen = PickerService::folder(this, 165, m_folder->text());
    if (chosen.isEmpty()) {
        MessageService::message(124, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    m_context.settings.setLastWMAOutFolder(chosen.toStdString());
    m_folder->setText(
        QString::fromStdString(cld::proposedRecorderFolder(chosen.toStdString(), "MP3Recorder")));
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

void CMIC2MP3SettingsDlg::accept() {
    const QString folder = m_folder->text().trimmed();
    if (folder.isEmpty()) {
        MessageService::message(157, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return;
    }
    if (m_devices->count() == 0) {
        MessageService::message(cld::IDS_NO_CAPTURE_DEVICE, MessageIcon::Error, MessageButtons::Ok,
                                this);
        return;
    }
    cld::makeFolder(folder);
    cld::RecorderSession& session = cld::RecorderSession::Instance();
    session.folder = folder.toStdString();
    session.mp3Bitrate = cld::chosenBitrate(m_list->currentIndex());
    storeBitrateChoice();
    m_chosenDevice = m_devices->currentIndex() >= 0 ? m_devices->currentData().toInt() : -1;
    m_chosenDeviceName = m_devices->currentText();
    QDialog::accept();
}
