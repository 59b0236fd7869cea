#include "GrabStatusImpl.h"

#include "cldrip/NameText.h"

namespace cld {

NameText* GrabStatusImpl::GetFileName() {
    return NameText::Create(m_values.fileName.c_str());
}

void GrabStatusImpl::Destroy() {
    delete this;
}

} // namespace cld
