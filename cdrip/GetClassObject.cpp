#include "CDDAObjectImpl.h"
#include "ClassFactory.h"
#include "cldrip/ClassObject.h"
#include "cldrip/NameText.h"

#include <cstring>
#include <new>

// The library's only export. Nothing may throw across it.
extern "C" __attribute__((visibility("default"))) void* GetClassObject(NameText* name) {
    try {
        if (!name || !name->m_text)
            return nullptr;
        if (std::strcmp(name->m_text, "CDDAObject") == 0)
            return static_cast<CDDAObject*>(new (std::nothrow) cld::CDDAObjectImpl());
        if (std::strcmp(name->m_text, "CDRipObject") == 0)
            return cld::createCDRipObject();
    } catch (...) {
    }
    return nullptr;
}
