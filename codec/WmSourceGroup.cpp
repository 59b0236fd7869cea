#include "WmSourceGroup.h"

#include "WMException.h"
#include "WmDataView.h"
#include "WmErrors.h"
#include "WmVideoSource.h"

#include <strings.h>

WmSourceGroup::WmSourceGroup(std::string name, ActivateFn activate)
    : m_activate(std::move(activate)), m_name(std::move(name)) {}

void WmSourceGroup::SetInput(const std::string& input) {
    if (input.empty())
        throw WMException(cld::wmerr::kInvalidArg);
    m_input = input;
}

std::string WmSourceGroup::GetInputPath() const {
    constexpr size_t kPrefix = 7; // "FILE://"
    if (m_input.size() >= kPrefix && strncasecmp(m_input.c_str(), "file://", kPrefix) == 0)
        return m_input.substr(kPrefix);
    return m_input;
}

void WmSourceGroup::Activate() {
    if (m_activate)
        m_activate(this);
}

void WmSourceGroup::SetProfile(const WmProfile& profile) {
    m_profile = profile;
}

WmVideoSource& WmSourceGroup::AddVideoSource(const std::string& input, WmDataView* preview,
                                             WmDataView* postview) {
    if (input.empty())
        throw WMException(cld::wmerr::kInvalidArg);
    auto source = std::make_shared<WmVideoSource>(input);
    if (preview)
        preview->Attach(*source, WmVideoSource::kPreview);
    if (postview)
        postview->Attach(*source, WmVideoSource::kPostview);
    m_video = std::move(source);
    return *m_video;
}
