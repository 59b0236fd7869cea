#pragma once

#include <string>

class QApplication;

namespace cld {

// Names the running application for the desktop (program name, desktop entry) and gives
// every dialog its polish (texts, mnemonics, accessible names, sizes). No display name is
// set: Qt would append it to every window title, and the titles already name the program.
void setUpApplication(QApplication& app);

// Whether a command-line error is shown in a message box as well: when standard error is
// not a terminal (the program was started from a file manager or a menu) and a display is
// there to show it on.
bool usageErrorNeedsBox(bool stderrIsTerminal, const char* display, const char* waylandDisplay,
                        const char* qpaPlatform);

// Shows a command-line error in a message box titled with the program's name.
void showUsageErrorBox(int argc, char** argv, const std::string& text);

} // namespace cld
