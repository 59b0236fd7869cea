#include "WmVideoSource.h"

#include "WMException.h"
#include "WmErrors.h"

WmVideoSource::WmVideoSource(std::string input)
    : m_input(std::move(input)), m_preview(std::make_shared<WmViewCollection>()),
      m_postview(std::make_shared<WmViewCollection>()) {}

std::shared_ptr<WmViewCollection> WmVideoSource::GetViews(int kind) const {
    if (kind == kPreview)
        return m_preview;
    if (kind == kPostview)
        return m_postview;
    throw WMException(cld::wmerr::kInvalidArg);
}
