#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QGridLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class WmEncoderControl;
struct JobContext;

// What the two video settings dialogs share: the profile list, the WMV output with its
// "..." button, OK and Cancel, and the checks on OK. A dialog makes its own input controls
// between these pieces, in the order its tab order wants, and lays them out in a grid.
class CVideoSettingsDlg : public QDialog {
    Q_OBJECT

public:
    enum Control {
        kProfileList = 1001,
        kOutputEdit = 1007,
        kOutputBrowse = 1011,
    };

protected:
    // Gives the dialog its id and caption and makes the profile list.
    CVideoSettingsDlg(JobContext& context, QWidget* parent, int dialogId);

    QLineEdit* makeOutputEdit();
    QPushButton* makeOutputBrowse();
    // Makes OK and Cancel; OK runs accept().
    void makeOkCancel();
    // The caption over the profiles, the profiles, `grid` and the buttons.
    void finishLayout(QGridLayout* grid, int width, int height);
    // Fills the profile list from the shared encoder and lets `more` read the encoder
    // too; a failure is told and leaves the lists as they are.
    void fillFromEncoder(const std::function<void(WmEncoderControl&)>& more = {});

    // Checks the output on OK: it is given, `input` is given where `inputRequired`, and
    // an existing file may be replaced. Stores the output path when all holds.
    bool takeOutput(const QString& input, bool inputRequired);
    // The chosen profile goes to the video job state, then the dialog closes with OK.
    void finishAccept();
    void saveProfileIndex();

    JobContext& m_context;
    const int m_dialogId;
    QLineEdit* m_output = nullptr;

private:
    void browseOutput();

    QListWidget* m_profiles = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    // The output the save dialog last returned: its own overwrite question was asked.
    QString m_confirmedOutput;
};
