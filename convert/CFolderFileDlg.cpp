#include "CFolderFileDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "MessageService.h"
#include "PickerService.h"
#include "SameFile.h"
#include "StringIds.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace cld;

CFolderFileDlg::CFolderFileDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId,
                               const char* folderText, const char* fileText, QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params), m_dialogId(dialogId) {
    setControlId(this, dialogId);
    m_input = makeEdit(this, IDC_INPUT);
    m_output = makeEdit(this, IDC_OUTPUT);
    m_folder = makeRadio(this, dialogId, IDC_MODE_FOLDER, folderText);
    m_file = makeRadio(this, dialogId, IDC_MODE_FILE, fileText);
    // One group, so that exactly one mode is chosen whatever the user clicks or presses.
    auto* modes = new QButtonGroup(this);
    modes->setExclusive(true);
    modes->addButton(m_folder);
    modes->addButton(m_file);
    m_folder->setChecked(true);
    m_layout = new QVBoxLayout(this);
}

void CFolderFileDlg::finishLayout(QWidget* extra, const char* extraCaption) {
    auto* inBrowse = makeButton(this, m_dialogId, IDC_INPUT_BROWSE, "...");
    auto* outBrowse = makeButton(this, m_dialogId, IDC_OUTPUT_BROWSE, "...");
    auto* ok = makeButton(this, m_dialogId, IDC_OK, "OK");
    ok->setDefault(true);
    auto* cancel = makeButton(this, m_dialogId, IDC_CANCEL, "Cancel");
    connect(inBrowse, &QPushButton::clicked, this, [this] { browseInput(); });
    connect(outBrowse, &QPushButton::clicked, this, [this] { browseOutput(); });
    connect(ok, &QPushButton::clicked, this, &CFolderFileDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CFolderFileDlg::reject);

    auto* modes = new QHBoxLayout;
    modes->addWidget(m_folder);
    modes->addWidget(m_file);
    modes->addStretch(1);
    auto* in = new QHBoxLayout;
    in->addWidget(m_input, 1);
    in->addWidget(inBrowse);
    auto* out = new QHBoxLayout;
    out->addWidget(m_output, 1);
    out->addWidget(outBrowse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    if (extra && extraCaption)
        m_layout->addWidget(makeStatic(this, extraCaption));
    if (extra)
        m_layout->addWidget(extra);
    m_layout->addLayout(modes);
    m_layout->addWidget(makeStatic(this, "Input:"));
    m_layout->addLayout(in);
    m_layout->addWidget(makeStatic(this, "Output:"));
    m_layout->addLayout(out);
    m_layout->addLayout(buttons);
}

bool CFolderFileDlg::isFolderMode() const {
    return m_folder->isChecked();
}

void CFolderFileDlg::setInputAndPropose(const std::string& input, const char* subFolder,
                                        const char* extension) {
    forgetOpenedFiles();
    if (isFolderMode()) {
        const std::string folder = withTrailingSlash(input);
        m_input->setText(QString::fromStdString(folder));
        m_output->setText(QString::fromStdString(folderModeOutput(folder, subFolder)));
    } else {
        m_input->setText(QString::fromStdString(input));
        m_output->setText(QString::fromStdString(fileModeOutput(input, extension)));
    }
}

void CFolderFileDlg::takeOpenedFiles(const char* subFolder, const char* extension) {
    if (m_context.initialFiles.isEmpty())
        return;
    const QString first = m_context.initialFiles.front();
    if (m_context.initialFiles.size() > 1) {
        m_files = m_context.initialFiles;
        m_folder->setChecked(true);
        m_folder->setEnabled(false);
        m_file->setEnabled(false);
        m_input->setReadOnly(true);
        m_input->setText(AppResources::string(IDS_N_FILES).arg(m_files.size()));
        m_input->setToolTip(m_files.join(QLatin1Char('\n')));
        m_output->setText(QString::fromStdString(
            withTrailingSlash(QFileInfo(first).absolutePath().toStdString())));
        return;
    }
    const bool folder = QFileInfo(first).isDir();
    m_folder->setChecked(folder);
    m_file->setChecked(!folder);
    setInputAndPropose(first.toStdString(), subFolder, extension);
}

void CFolderFileDlg::forgetOpenedFiles() {
    if (m_files.isEmpty())
        return;
    m_files.clear();
    m_folder->setEnabled(true);
    m_file->setEnabled(true);
    m_input->setReadOnly(false);
    m_input->setToolTip(QString());
}

void CFolderFileDlg::setPickedOutput(const QString& file) {
    m_output->setText(file);
    m_pickedOutput = file;
}

bool CFolderFileDlg::confirmReplace(const std::string& input, const std::string& output) {
    if (QString::fromStdString(output) == m_pickedOutput)
        return true;
    const QFileInfo info(QString::fromStdString(output));
    // An output that is the input itself has been refused before this question.
    if (!info.exists() || info.isDir() || sameFile(input, output))
        return true;
    QString text = AppResources::string(IDS_REPLACE_ASK).arg(QString::fromStdString(output));
    return m_context.messages().show(Message{IDS_REPLACE_ASK, text, MessageIcon::Question,
                                             MessageButtons::YesNo, this}) == MessageResult::Yes;
}

std::string CFolderFileDlg::pickFolder(int titleId, const std::string& start) {
    const QString folder = PickerService::folder(this, titleId, QString::fromStdString(start));
    if (folder.isEmpty()) {
        showStringMessage(this, 124, MessageIcon::Error);
        return {};
    }
    return folder.toStdString();
}

bool CFolderFileDlg::checkOutputsApart(const std::vector<std::string>& inputs,
                                       const std::vector<std::string>& outputs) {
    const std::string replaced = outputReplacingInput(inputs, outputs);
    if (replaced.empty())
        return true;
    showStringMessage(this, IDS_OUTPUT_IS_INPUT, MessageIcon::Exclamation,
                      QString::fromStdString(replaced));
    return false;
}

void CFolderFileDlg::accept() {
    std::string output = m_output->text().trimmed().toStdString();
    std::string input = m_input->text().trimmed().toStdString();
    if (output.empty()) {
        showStringMessage(this, 157, MessageIcon::Exclamation);
        return;
    }
    if (!m_files.isEmpty()) {
        std::vector<std::string> files;
        for (const QString& file : m_files)
            files.push_back(file.toStdString());
        if (!checkOutputsApart(files, batchOutputNames(files, output, outputExtension())))
            return;
        if (!createOneFolder(output)) {
            showStringMessage(this, 124, MessageIcon::Error);
            return;
        }
        m_params.inputFiles.clear();
        for (const QString& file : m_files)
            m_params.inputFiles.push_back(file.toStdString());
        m_params.inputPath.clear();
        m_params.outputPath = withTrailingSlash(output);
        m_params.mode = cld::engine::withFolder(m_params.mode, true);
        if (!acceptChoice())
            return;
        QDialog::accept();
        return;
    }
    if (input.empty()) {
        showStringMessage(this, 176, MessageIcon::Exclamation);
        return;
    }
    if (isFolderMode()) {
        const std::vector<std::string> inputs = folderInputs(withTrailingSlash(input));
        if (!checkOutputsApart(inputs, batchOutputNames(inputs, output, outputExtension())))
            return;
    } else if (!checkOutputsApart({input}, {output}) || !confirmReplace(input, output)) {
        return;
    }
    m_params.inputFiles.clear();
    if (isFolderMode()) {
        if (!createOneFolder(output)) {
            showStringMessage(this, 124, MessageIcon::Error);
            return;
        }
        output = withTrailingSlash(output);
        input = withTrailingSlash(input);
    }
    m_params.inputPath = input;
    m_params.outputPath = output;
    m_params.mode = cld::engine::withFolder(m_params.mode, isFolderMode());
    if (!acceptChoice())
        return;
    QDialog::accept();
}
