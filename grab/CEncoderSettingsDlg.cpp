#include "CEncoderSettingsDlg.h"

#include "AppResources.h"
#include "ControlTag.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

using cld::tagControl;

namespace {

// The kept value when it is one of the setting's, else the setting's default.
std::string shown(const cld::GrabSetting& s, const cld::engine::EncoderOptions& kept) {
    const auto it = kept.find(s.key);
    return it != kept.end() ? it->second : s.fallback;
}

int wholeOf(double value) {
    return static_cast<int>(
        std::clamp(std::lround(value), static_cast<long>(INT_MIN) + 1, static_cast<long>(INT_MAX)));
}

} // namespace

CEncoderSettingsDlg::CEncoderSettingsDlg(const cld::GrabFormat& format,
                                         const cld::engine::EncoderOptions& kept, QWidget* parent)
    : QDialog(parent), m_format(format) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::string(cld::IDS_ENCODER_SETTINGS_TITLE)
                       .arg(QString::fromStdString(format.displayName)));
    auto* form = new QFormLayout;
    int id = kFirstField;
    for (const cld::GrabSetting& s : m_format.settings) {
        const std::string value = shown(s, kept);
        QWidget* field = nullptr;
        switch (s.kind) {
        case cld::GrabSetting::Kind::Whole: {
            auto* box = new QSpinBox(this);
            box->setRange(wholeOf(s.low), wholeOf(s.high));
            box->setValue(wholeOf(std::strtod(value.c_str(), nullptr)));
            field = box;
            break;
        }
        case cld::GrabSetting::Kind::Decimal: {
            auto* box = new QDoubleSpinBox(this);
            box->setDecimals(2);
            box->setRange(s.low, s.high);
            box->setValue(std::strtod(value.c_str(), nullptr));
            field = box;
            break;
        }
        case cld::GrabSetting::Kind::Choice: {
            auto* box = new QComboBox(this);
            for (const std::string& choice : s.choices)
                box->addItem(QString::fromStdString(choice));
            const int at = box->findText(QString::fromStdString(value));
            box->setCurrentIndex(at >= 0 ? at : 0);
            field = box;
            break;
        }
        case cld::GrabSetting::Kind::Flag: {
            auto* box = new QCheckBox(this);
            box->setChecked(value == "1");
            field = box;
            break;
        }
        }
        tagControl(field, id++);
        m_fields.push_back(field);
        form->addRow(new QLabel(QString::fromStdString(s.label), this), field);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    tagControl(buttons->button(QDialogButtonBox::Ok), 1);
    tagControl(buttons->button(QDialogButtonBox::Cancel), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

cld::engine::EncoderOptions CEncoderSettingsDlg::options() const {
    cld::engine::EncoderOptions out;
    for (std::size_t i = 0; i < m_fields.size() && i < m_format.settings.size(); ++i) {
        const cld::GrabSetting& s = m_format.settings[i];
        QWidget* field = m_fields[i];
        QString value;
        switch (s.kind) {
        case cld::GrabSetting::Kind::Whole:
            value = QString::number(static_cast<QSpinBox*>(field)->value());
            break;
        case cld::GrabSetting::Kind::Decimal:
            value = QString::number(static_cast<QDoubleSpinBox*>(field)->value(), 'f', 2);
            break;
        case cld::GrabSetting::Kind::Choice:
            value = static_cast<QComboBox*>(field)->currentText();
            break;
        case cld::GrabSetting::Kind::Flag:
            value = static_cast<QCheckBox*>(field)->isChecked() ? QStringLiteral("1")
                                                                : QStringLiteral("0");
            break;
        }
        out.emplace(s.key, value.toStdString());
    }
    return out;
}
