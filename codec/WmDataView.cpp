#include "WmDataView.h"

#include "WMException.h"
#include "WmErrors.h"
#include "WmVideoSource.h"

WmDataView::~WmDataView() {
    Detach();
}

void WmDataView::Attach(const WmVideoSource& source, int kind) {
    std::shared_ptr<WmViewCollection> collection = source.GetViews(kind);
    Detach();
    m_collection = std::move(collection);
    m_cookie = m_collection->Add();
}

void WmDataView::SetWindow(IWmFrameSink* sink) {
    if (!m_collection)
        throw WMException(cld::wmerr::kPointer);
    if (!m_collection->SetSink(m_cookie, sink))
        throw WMException(cld::wmerr::kUnexpected);
}

void WmDataView::StartView() {
    if (!m_collection)
        throw WMException(cld::wmerr::kPointer);
    if (m_running)
        m_collection->SetRunning(m_cookie, false);
    if (!m_collection->SetRunning(m_cookie, true))
        throw WMException(cld::wmerr::kUnexpected);
    m_running = true;
}

void WmDataView::StopView() {
    if (!m_running)
        return;
    Detach();
}

void WmDataView::Detach() {
    if (m_collection)
        m_collection->Remove(m_cookie);
    m_collection.reset();
    m_cookie = -1;
    m_running = false;
}
