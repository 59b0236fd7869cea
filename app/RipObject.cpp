#include "CSuiteApp.h"
#include "LibraryBinding.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/NameText.h"

// The ripper library's objects cross the library boundary as tables of operations; this
// file is the only one of the application object that creates or destroys them.

bool CSuiteApp::createRipObject() {
    LibraryBinding& binding =
        m_options.ripperBinding ? *m_options.ripperBinding : LibraryBinding::ripper();
    const auto entry = reinterpret_cast<GetClassObjectFn>(binding.entry());
    if (!entry)
        return false;
    NameText* name = NameText::Create("CDRipObject");
    if (!name)
        return false;
    void* object = entry(name);
    name->Destroy();
    m_ripObject = static_cast<CDRipObject*>(object);
    return m_ripObject != nullptr;
}

void CSuiteApp::releaseRipObject() {
    // The drive settings belong to the ripper object and go with it.
    m_driveSettings = nullptr;
    if (m_ripObject) {
        m_ripObject->Dispose();
        m_ripObject = nullptr;
    }
}
