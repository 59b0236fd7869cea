#pragma once

#include <QDialog>

class QLineEdit;
class QWidget;
struct JobContext;
namespace cld::engine {
struct JobSpec;
}

// What the MP3 and WMA settings of a CD job share: the output folder (remembered folder +
// artist + " - " + album) with its "..." button, OK and Cancel, and the checks on OK. On
// OK the folder exists and the parameters hold the choice. A dialog makes its own choice
// control, then calls finishLayout().
class CCdSettingsDlg : public QDialog {
    Q_OBJECT
public:
    void accept() override;

protected:
    // `folderTitle`: the string id of the folder picker's title.
    CCdSettingsDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId, int folderTitle,
                   QWidget* parent);

    // Makes the output, OK and Cancel and lays out `caption` (a static text, optional)
    // and `choice` over them; the output starts at the remembered folder.
    void finishLayout(const char* caption, QWidget* choice);

    // The choice is complete; otherwise the user was told why not.
    virtual bool choiceReady() { return true; }
    // Puts the choice into the parameters and the settings.
    virtual void storeChoice() = 0;

    JobContext& m_context;
    cld::engine::JobSpec& m_params;

private:
    void browseOutput();

    const int m_dialogId;
    const int m_folderTitle;
    QLineEdit* m_output = nullptr;
};
