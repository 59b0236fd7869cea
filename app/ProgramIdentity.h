#pragma once

#include <string>

class QApplication;

namespace cld {

// Names the running application for the desktop (program name, desktop entry) and gives
// every dialog its polish (texts, mnemonics, accessible names, sizes). No display name is
// set: Qt would append it to every window title, and the titles already name the program.
void setUpApplication(QApplication& app);

// How the program was started, as far as a command-line error's reader is concerned.
struct StartFacts {
    // Standard input, output or error is a terminal.
    bool anyStandardStreamIsTerminal = false;
    // The process has a controlling terminal (it was started from a shell in a terminal,
    // whatever its standard streams were redirected to).
    bool hasControllingTerminal = false;
};

// The facts of the running process.
StartFacts currentStartFacts();

// Whether a command-line error is shown in a message box as well: only when the program
// was started by the desktop (a file manager, a menu: no standard stream is a terminal
// and there is no controlling terminal either) and a display is there to show it on.
// Anything started from a terminal or a script reads standard error and must never wait
// for a box to be closed.
bool usageErrorNeedsBox(const StartFacts& start, const char* display, const char* waylandDisplay,
                        const char* qpaPlatform);

// Shows a command-line error in a message box titled with the program's name.
void showUsageErrorBox(int argc, char** argv, const std::string& text);

} // namespace cld
