#pragma once

#include <string>
#include <vector>

// What the settings dialogs hand to the progress dialog: paths, bitrate and profile.
struct JobParameters {
    // Input file or folder (folders end in "/"), output file or folder.
    std::string inputPath;
    std::string outputPath;
    // kbit/s of the selected bitrate entry (the VBR minimum in VBR mode).
    int encodingBitrate = 128;
    // Position of the chosen profile in the media encoder's profile collection.
    int wmaProfileIndex = 0;
    // The disc's names (CD jobs).
    std::string artist;
    std::string album;
    // Folder job (modes 2 and 4) or single-file job (modes 3 and 5).
    bool folderMode = true;
    // Several files opened together (from the command line or a file manager): a folder
    // job over exactly these files, each output going to the output folder.
    std::vector<std::string> inputFiles;
};
