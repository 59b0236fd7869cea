#include "CSuiteApp.h"
#include "LibraryBinding.h"
#include "Log.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/NameText.h"

// The ripper library's objects cross the library boundary as tables of operations; this
// file is the only one of the application object that creates or destroys them.

bool CSuiteApp::createRipObject() {
    LibraryBinding& binding =
        m_options.ripperBinding ? *m_options.ripperBinding : LibraryBinding::ripper();
    const auto entry = reinterpret_cast<GetClassObjectFn>(binding.entry());
    // The message the user sees names no file and no reason; standard error gets both.
    if (!entry) {
        cld::logf(cld::LogLevel::Error, "cannot bind the ripper library %s: %s",
                  binding.path().c_str(), binding.errorText().c_str());
        return false;
    }
    NameText* name = NameText::Create("CDRipObject");
    if (!name) {
        cld::log(cld::LogLevel::Error, "cannot create the ripper object: out of memory");
        return false;
    }
    void* object = entry(name);
    name->Destroy();
    m_ripObject = static_cast<CDRipObject*>(object);
    if (!m_ripObject)
        cld::logf(cld::LogLevel::Error, "the ripper library %s gave no CDRipObject",
                  binding.path().c_str());
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
