#include "CSuiteApp.h"
#include "LibraryBinding.h"

// The ripper library's objects cross the library boundary as tables of operations; this
// file is the only one that knows their layout.

bool CSuiteApp::createRipObject() {
    LibraryBinding& binding =
        m_options.ripperBinding ? *m_options.ripperBinding : LibraryBinding::ripper();
    if (!binding.entry())
        return false;
    return false;
}

void CSuiteApp::releaseRipObject() {
    m_ripObject = nullptr;
    m_driveSettings = nullptr;
}
