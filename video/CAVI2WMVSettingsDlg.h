#pragma once

#include "ResourceIds.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
struct JobContext;

// Chooses the video file to convert, the WMV file to write and the profile (dialog 169).
// On OK the choices go to the video job state.
class CAVI2WMVSettingsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_AVI2WMV_SETTINGS;
    enum Control {
        kProfileList = 1001,
        kInputEdit = 1006,
        kOutputEdit = 1007,
        kInputBrowse = 1008,
        kOutputBrowse = 1011,
    };

    CAVI2WMVSettingsDlg(JobContext& context, QWidget* parent);

    void accept() override;

private:
    void browseInput();
    void browseOutput();
    void saveProfileIndex();

    JobContext& m_context;
    QListWidget* m_profiles = nullptr;
    QLineEdit* m_input = nullptr;
    QLineEdit* m_output = nullptr;
    // The output the save dialog last returned: its own overwrite question was asked.
    QString m_confirmedOutput;
};
