#pragma once

#include "CFolderFileDlg.h"

// What the Folder->MP3 and Folder->WMA settings share: the pickers for the input (WAV
// folder or file) and the output (folder, or file of the target format) and the proposed
// output below the input. A dialog gives its format's texts and its own choice control.
class CFolderEncodeDlg : public CFolderFileDlg {
    Q_OBJECT
public:
    // The texts and ids of one target format.
    struct Format {
        const char* inputFilter = "";  // the open-file filter of the input
        const char* outputFilter = ""; // the save-file filter of the output
        int outputFolderTitle = 0;     // string id of the output folder picker's title
        const char* subFolder = "";    // proposed output folder below the input
        const char* extension = "";    // the output's extension, with the dot
    };

protected:
    CFolderEncodeDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId,
                     const Format& format, QWidget* parent);

    // Takes the files the program was opened with, proposing outputs of the format.
    void takeOpenedFormatFiles();

    void browseInput() override;
    void browseOutput() override;
    std::vector<std::string> folderInputs(const std::string& folder) const override;
    std::string outputExtension() const override { return m_format.extension; }

private:
    const Format m_format;
};
