#pragma once

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

class QLineEdit;
class QRadioButton;
class QVBoxLayout;
struct JobContext;
namespace cld::engine {
struct JobSpec;
}

// What the folder-or-file dialogs share: an input and an output field, each with "...",
// the folder/file radio pair, and the checks on OK (output given, input given, folder
// created, paths recorded).
class CFolderFileDlg : public QDialog {
    Q_OBJECT
public:
    void accept() override;
    bool isFolderMode() const;
    // The files the dialog was opened with when there are several (empty otherwise).
    const QStringList& openedFiles() const { return m_files; }

protected:
    CFolderFileDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId,
                   const char* folderText, const char* fileText, QWidget* parent);
    // Adds the rows of the paths and the mode below `extra` (the dialog's own controls).
    // `extraCaption`, when given, is the label above `extra`.
    void finishLayout(QWidget* extra, const char* extraCaption = nullptr);
    virtual void browseInput() = 0;
    virtual void browseOutput() = 0;
    // Called on a valid OK, after the paths are recorded; false keeps the dialog open.
    virtual bool acceptChoice() = 0;
    // The files a job in folder mode takes from `folder`, and the extension of its outputs.
    virtual std::vector<std::string> folderInputs(const std::string& folder) const = 0;
    virtual std::string outputExtension() const = 0;

    // Sets the input field and proposes the output: folder + `subFolder` + "/" in
    // folder mode, the input with its extension replaced by `extension` in file mode.
    void setInputAndPropose(const std::string& input, const char* subFolder, const char* extension);
    // A folder picker titled by string `titleId`; an empty answer shows "invalid path"
    // and gives "".
    std::string pickFolder(int titleId, const std::string& start);
    // A job opened with files (from a file manager or the command line) starts on them:
    // one folder in folder mode, one file in file mode (output proposed), several files
    // as one batch shown as "N files", with their outputs in one folder (proposed: the
    // first file's folder).
    void takeOpenedFiles(const char* subFolder, const char* extension);
    // Sets the output chosen in the save dialog, which has already asked about replacing
    // an existing file.
    void setPickedOutput(const QString& file);
    // Leaves the batch of opened files (the user chose another input).
    void forgetOpenedFiles();

    JobContext& m_context;
    cld::engine::JobSpec& m_params;
    int m_dialogId;
    QLineEdit* m_input = nullptr;
    QLineEdit* m_output = nullptr;
    QRadioButton* m_folder = nullptr;
    QRadioButton* m_file = nullptr;
    QVBoxLayout* m_layout = nullptr;

private:
    // In file mode, asks before an existing output is replaced; false keeps the dialog.
    bool confirmReplace(const std::string& input, const std::string& output);
    // Refuses outputs that would replace an input of the job (the input file itself, or in
    // a batch an input whose output name it is), before anything runs; false after saying
    // so, which keeps the dialog open.
    bool checkOutputsApart(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs);

    QStringList m_files;
    QString m_pickedOutput;
};
