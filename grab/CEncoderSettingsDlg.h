#pragma once

#include "GrabFormats.h"

#include <QDialog>
#include <vector>

class QWidget;

// The settings of one encoder, as its description offers them: a field per setting (a
// number box, a choice or a check box) showing the kept value or the encoder's default.
// OK keeps the values; Cancel leaves them as they were.
class CEncoderSettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 2704;
    // The settings' fields take the ids from here on, in the order of the description.
    static constexpr int kFirstField = 2710;

    CEncoderSettingsDlg(const cld::GrabFormat& format, const cld::engine::EncoderOptions& kept,
                        QWidget* parent = nullptr);
    // The values as the fields show them (every setting of the description).
    cld::engine::EncoderOptions options() const;

private:
    cld::GrabFormat m_format;
    std::vector<QWidget*> m_fields;
};
