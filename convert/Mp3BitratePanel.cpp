#include "Mp3BitratePanel.h"

#include "AppResources.h"
#include "CMP3AdvancedSettingsDlg.h"
#include "ConvertIds.h"
#include "DialogKit.h"
#include "Mp3Bitrates.h"
#include "SettingsRecord.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

using namespace cld;

Mp3BitratePanel::Mp3BitratePanel(SettingsRecord& settings, int dialogId, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogId(dialogId) {
    m_label = makeLabel(this, dialogId, IDC_BITRATE_LABEL, "");
    m_list = new QComboBox(this);
    setControlId(m_list, IDC_BITRATE_LIST);
    for (const Mp3BitrateEntry& e : mp3BitrateList())
        m_list->addItem(QString::fromUtf8(e.text));
    m_slider = new QSlider(Qt::Horizontal, this);
    setControlId(m_slider, IDC_BITRATE_SLIDER);
    m_slider->setRange(kMp3SliderMin, kMp3SliderMax);
    m_slider->setPageStep(1);
    m_slider->setSingleStep(1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(0);
    m_cbr = makeRadio(this, dialogId, IDC_CBR, "CBR (Constant BitRate)");
    m_vbr = makeRadio(this, dialogId, IDC_VBR, "VBR (Variable BitRate)");
    auto* advanced = makeButton(this, dialogId, IDC_ADVANCED, "&Advanced Options");

    auto* types = new QHBoxLayout;
    types->addWidget(m_cbr);
    types->addWidget(m_vbr);
    types->addStretch(1);
    types->addWidget(advanced);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(types);
    layout->addWidget(m_label);
    layout->addWidget(m_list);
    layout->addWidget(m_slider);

    setListIndex(openingListIndex(settings.lastMP3Bitrate()));
    (settings.mp3BitrateType() == 1 ? m_vbr : m_cbr)->setChecked(true);
    onTypeClicked();

    connect(m_slider, &QSlider::valueChanged, this, &Mp3BitratePanel::onSliderMoved);
    connect(m_list, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(encodingBitrateOfEntry(index));
    });
    connect(m_cbr, &QRadioButton::clicked, this, &Mp3BitratePanel::onTypeClicked);
    connect(m_vbr, &QRadioButton::clicked, this, &Mp3BitratePanel::onTypeClicked);
    connect(advanced, &QPushButton::clicked, this, &Mp3BitratePanel::openAdvanced);
}

int Mp3BitratePanel::listIndex() const {
    return m_list->currentIndex();
}

void Mp3BitratePanel::setListIndex(int index) {
    m_list->setCurrentIndex(index);
    const QSignalBlocker block(m_slider);
    m_slider->setValue(encodingBitrateOfEntry(index));
}

bool Mp3BitratePanel::isVbr() const {
    return !m_cbr->isChecked();
}

int Mp3BitratePanel::encodingBitrate() const {
    return encodingBitrateFromText(m_list->currentText().toStdString());
}

void Mp3BitratePanel::storeChoice() {
    m_settings.setLastMP3Bitrate(listIndex());
    m_settings.setMp3BitrateType(isVbr() ? 1 : 0);
}

void Mp3BitratePanel::moveSlider(int position) {
    m_slider->setValue(position);
}

void Mp3BitratePanel::onSliderMoved(int position) {
    const QSignalBlocker block(m_list);
    m_list->setCurrentIndex(sliderToListIndex(position, m_list->currentIndex()));
}

void Mp3BitratePanel::onTypeClicked() {
    m_label->setText(AppResources::string(m_cbr->isChecked() ? 162 : 163));
}

void Mp3BitratePanel::openAdvanced() {
    CMP3AdvancedSettingsDlg dlg(m_settings, encodingBitrate(), listIndex(), window());
    const bool accepted = dlg.exec() == QDialog::Accepted;
    storeChoice();
    if (accepted) {
        moveSlider(dlg.minimumBitrate());
        storeChoice();
    }
}
