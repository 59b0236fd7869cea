#pragma once

#include "IWmFrameSink.h"

#include <memory>

class WmVideoSource;
class WmViewCollection;

// One preview or postview: attached to a video source's collection, it passes the
// source's input pictures (preview) or the pictures decoded back from the encoded
// stream (postview) to its sink while it runs. Used from the user-interface thread; the
// sink is called on the encoder's thread. Failures throw WMException.
class WmDataView {
public:
    WmDataView() = default;
    // Stops the view if it runs and leaves the collection.
    ~WmDataView();
    WmDataView(const WmDataView&) = delete;
    WmDataView& operator=(const WmDataView&) = delete;

    // Joins the preview (1) or postview (2) collection of the source; a view attached
    // elsewhere leaves that collection first.
    void Attach(const WmVideoSource& source, int kind);
    // The sink that shows the pictures (the window of the view).
    void SetWindow(IWmFrameSink* sink);
    // Starts the view, stopping it first when it runs.
    void StartView();
    // Stops the view, removes it from its collection and lets the collection go; does
    // nothing when the view does not run.
    void StopView();

    bool IsRunning() const { return m_running; }
    // The cookie the collection gave, -1 when not attached.
    int GetCookie() const { return m_cookie; }

private:
    void Detach();

    std::shared_ptr<WmViewCollection> m_collection;
    int m_cookie = -1;
    bool m_running = false;
};
