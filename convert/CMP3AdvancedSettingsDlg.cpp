#include "CMP3AdvancedSettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "DialogKit.h"
#include "Mp3Bitrates.h"
#include "SettingsRecord.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

using namespace cld;

namespace {

QSlider* qualitySlider(QWidget* parent, int id) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    setControlId(s, id);
    s->setRange(0, 9);
    s->setTickInterval(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setPageStep(1);
    return s;
}

} // namespace

CMP3AdvancedSettingsDlg::CMP3AdvancedSettingsDlg(SettingsRecord& settings, int minimumKbps,
                                                 int listIndex, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_minimum(minimumKbps), m_listIndex(listIndex) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
    const int d = kDialogId;

    auto* methodBox = new QGroupBox(QStringLiteral("VBR Method"), this);
    auto* methodLayout = new QVBoxLayout(methodBox);
    const char* methods[3] = {"RH (old method).", "ABR", "MTRH (new method)."};
    for (int i = 0; i < 3; ++i) {
        m_method[i] = makeRadio(methodBox, d, IDC_METHOD_RH + i, methods[i]);
        methodLayout->addWidget(m_method[i]);
    }

    auto* channelBox = new QGroupBox(QStringLiteral("Channels"), this);
    auto* channelLayout = new QVBoxLayout(channelBox);
    const char* channels[5] = {"&Stereo", "Joint Stereo", "Force Joint Stereo", "Mono",
                               "Automatic"};
    for (int i = 0; i < 5; ++i) {
        m_channels[i] = makeRadio(channelBox, d, IDC_CHANNELS_STEREO + i, channels[i]);
        channelLayout->addWidget(m_channels[i]);
    }

    m_vbrQuality = qualitySlider(this, IDC_VBR_QUALITY);
    m_quality = qualitySlider(this, IDC_QUALITY);
    m_minEdit = makeEdit(this, IDC_VBR_MIN);
    m_maxEdit = makeEdit(this, IDC_VBR_MAX);
    m_meanEdit = makeEdit(this, IDC_ABR_MEAN);
    m_private = makeCheck(this, d, IDC_PRIVATE, "Material is Private.");
    m_copyrighted = makeCheck(this, d, IDC_COPYRIGHTED, "Material is Copyrighted.");
    m_original = makeCheck(this, d, IDC_ORIGINAL, "Material is Original.");
    m_crc = makeCheck(this, d, IDC_CRC, "Add CRC (error correction).");

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(makeStatic(this, "VBR Encoding Quality"), row, 0, 1, 3);
    ++row;
    grid->addWidget(makeStatic(this, "Low"), row, 0);
    grid->addWidget(m_vbrQuality, row, 1);
    grid->addWidget(makeStatic(this, "High"), row, 2);
    ++row;
    grid->addWidget(makeStatic(this, "Overall MP3 Encoding Quality"), row, 0, 1, 3);
    ++row;
    grid->addWidget(makeStatic(this, "Higher Speed"), row, 0);
    grid->addWidget(m_quality, row, 1);
    grid->addWidget(makeStatic(this, "Higher Quality"), row, 2);
    ++row;
    grid->addWidget(makeStatic(this, "VBR Minimum Bitrate:"), row, 0);
    grid->addWidget(m_minEdit, row, 1);
    ++row;
    grid->addWidget(makeStatic(this, "VBR Maximum Bitrate:"), row, 0);
    grid->addWidget(m_maxEdit, row, 1);
    ++row;
    grid->addWidget(makeStatic(this, "ABR Mean Bitrate:"), row, 0);
    grid->addWidget(m_meanEdit, row, 1);

    auto* flags = new QVBoxLayout;
    for (QCheckBox* c : {m_private, m_copyrighted, m_original, m_crc})
        flags->addWidget(c);

    auto* defaults = makeButton(this, d, IDC_DEFAULTS, "Set to &Default");
    connect(defaults, &QPushButton::clicked, this, &CMP3AdvancedSettingsDlg::setDefaults);
    auto* ok = makeButton(this, d, IDC_OK, "OK");
    ok->setDefault(true);
    auto* cancel = makeButton(this, d, IDC_CANCEL, "Cancel");
    connect(ok, &QPushButton::clicked, this, &CMP3AdvancedSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CMP3AdvancedSettingsDlg::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(methodBox);
    top->addWidget(channelBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid);
    layout->addLayout(flags);
    layout->addLayout(buttons);

    showValues(settings.vbrMethod(), settings.vbrQuality(), settings.mp3Quality(),
               settings.audioChannels(), settings.maxVBRBitrate(), settings.meanVBRBitrate(),
               minimumKbps);
    m_private->setChecked(settings.materialPrivate() != 0);
    m_copyrighted->setChecked(settings.materialCopyrighted() != 0);
    m_original->setChecked(settings.materialOriginal() != 0);
    m_crc->setChecked(settings.materialCRC() != 0);
}

void CMP3AdvancedSettingsDlg::showValues(int method, int vbrQuality, int quality, int channels,
                                         int maximum, int mean, int minimum) {
    m_method[std::clamp(method, 0, 2)]->setChecked(true);
    m_vbrQuality->setValue(9 - std::clamp(vbrQuality, 0, 9));
    m_quality->setValue(9 - std::clamp(quality, 0, 9));
    m_channels[std::clamp(channels, 0, 4)]->setChecked(true);
    m_maxEdit->setText(QString::number(maximum));
    m_meanEdit->setText(QString::number(mean));
    m_minEdit->setText(QString::number(minimum));
}

void CMP3AdvancedSettingsDlg::setDefaults() {
    // The four header flags are the user's statement about the material; the defaults
    // leave them alone.
    showValues(2, 0, 1, 4, 192, 128, 96);
}

bool CMP3AdvancedSettingsDlg::readField(QLineEdit* edit, int lo, int hi, int& value) {
    const IntegerFieldResult r = readIntegerField(edit->text().toStdString(), lo, hi);
    if (r.status == IntegerField::Ok) {
        value = r.value;
        return true;
    }
    if (r.status == IntegerField::NotANumber)
        showStringMessage(this, IDS_ENTER_INTEGER, MessageIcon::Exclamation);
    else
        showStringMessage(this, IDS_ENTER_INTEGER_RANGE, MessageIcon::Exclamation,
                          QString::number(lo), QString::number(hi));
    edit->setFocus();
    edit->selectAll();
    return false;
}

void CMP3AdvancedSettingsDlg::accept() {
    int maximum = 0;
    int mean = 0;
    int minimum = 0;
    if (!readField(m_maxEdit, 16, 320, maximum) || !readField(m_meanEdit, 16, 256, mean) ||
        !readField(m_minEdit, 8, 256, minimum))
        return;
    int method = 0;
    for (int i = 0; i < 3; ++i)
        if (m_method[i]->isChecked())
            method = i;
    int channels = 4;
    for (int i = 0; i < 5; ++i)
        if (m_channels[i]->isChecked())
            channels = i;
    m_minimum = minimum;
    m_settings.setVbrMethod(method);
    m_settings.setVbrQuality(9 - m_vbrQuality->value());
    m_settings.setMp3Quality(9 - m_quality->value());
    m_settings.setAudioChannels(channels);
    m_settings.setMaxVBRBitrate(maximum);
    m_settings.setMeanVBRBitrate(mean);
    // The stored bitrate choice is always a list index: the one the minimum selects.
    m_settings.setLastMP3Bitrate(sliderToListIndex(minimum, m_listIndex));
    m_settings.setMaterialPrivate(m_private->isChecked() ? 1 : 0);
    m_settings.setMaterialCopyrighted(m_copyrighted->isChecked() ? 1 : 0);
    m_settings.setMaterialOriginal(m_original->isChecked() ? 1 : 0);
    m_settings.setMaterialCRC(m_crc->isChecked() ? 1 : 0);
    QDialog::accept();
}
