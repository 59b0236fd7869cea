#pragma once

#include "WmViewCollection.h"

#include <memory>
#include <string>

// The video source of a source group: its input text ("FILE://" + path, "DEVICE://" +
// resource or "ScreenCap://" + plug-in name) and its two view collections. The
// collections are shared, so a view may outlive the group it was attached to.
class WmVideoSource {
public:
    enum ViewKind { kPreview = 1, kPostview = 2 };

    explicit WmVideoSource(std::string input);

    const std::string& GetInput() const { return m_input; }
    // The preview (1) or postview (2) collection; throws WMException for another kind.
    std::shared_ptr<WmViewCollection> GetViews(int kind) const;

private:
    std::string m_input;
    std::shared_ptr<WmViewCollection> m_preview;
    std::shared_ptr<WmViewCollection> m_postview;
};
