#include "WmEncoderControl.h"

#include "AlsaDeviceSource.h"
#include "WMException.h"
#include "WmErrors.h"
#include "WmVideoSource.h"

#include <cstdio>

namespace {

std::atomic<unsigned long long> g_sourceGroupCounter{0};

} // namespace

WmEncoderControl::WmEncoderControl(std::string systemProfileFolder, std::string userProfileFolder) {
    m_profiles = WmProfile::LoadCollection(systemProfileFolder, userProfileFolder, &m_damaged);
}

WmEncoderControl::~WmEncoderControl() {
    m_stop = true;
    Join();
}

int WmEncoderControl::GetProfileCount() const {
    return static_cast<int>(m_profiles.size());
}

WmProfileInfo WmEncoderControl::GetProfileInfo(int index) const {
    const WmProfile p = GetProfile(index);
    WmProfileInfo info;
    info.name = p.GetName();
    info.description = p.GetDescription();
    info.audioStreams = p.CountStreams(WmStreamConfig::Type::Audio);
    info.videoStreams = p.CountStreams(WmStreamConfig::Type::Video);
    info.scriptStreams = p.CountStreams(WmStreamConfig::Type::Script);
    return info;
}

WmProfile WmEncoderControl::GetProfile(int index) const {
    if (index < 0 || index >= GetProfileCount())
        throw WMException(cld::wmerr::kProfileIndex);
    return m_profiles[static_cast<size_t>(index)];
}

void WmEncoderControl::PrepareForFile() {
    if (GetRunState() == kRunning)
        throw WMException(cld::wmerr::kBusy);
    Join();
    m_output.clear();
    m_info = {};
    m_error = 0;
}

WmSourceGroup& WmEncoderControl::AddSourceGroup() {
    if (GetRunState() == kRunning)
        throw WMException(cld::wmerr::kBusy);
    char name[48];
    std::snprintf(name, sizeof name, "SOURCE_GROUP #%llu", ++g_sourceGroupCounter);
    m_active = nullptr;
    m_group = std::make_unique<WmSourceGroup>(
        name, [this](WmSourceGroup* group) { ActivateSourceGroup(group); });
    return *m_group;
}

void WmEncoderControl::ReleaseSourceGroup() {
    if (GetRunState() == kRunning)
        throw WMException(cld::wmerr::kBusy);
    m_active = nullptr;
    m_group.reset();
}

void WmEncoderControl::ActivateSourceGroup(WmSourceGroup* group) {
    if (GetRunState() == kRunning)
        throw WMException(cld::wmerr::kBusy);
    m_active = group;
}

void WmEncoderControl::SetOutputFile(const std::string& path) {
    if (path.empty())
        throw WMException(cld::wmerr::kInvalidArg);
    m_output = path;
}

void WmEncoderControl::SetDisplayInfo(const std::string& author, const std::string& title,
                                      const std::string& copyright, const std::string& description,
                                      const std::string& rating) {
    auto set = [](std::string& field, const std::string& value) {
        if (!value.empty())
            field = value;
    };
    set(m_info.author, author);
    set(m_info.title, title);
    set(m_info.copyright, copyright);
    set(m_info.description, description);
    set(m_info.rating, rating);
}

void WmEncoderControl::SetMusicTags(const AudioTags& tags) {
    m_info.music = tags;
    m_info.music.cover.clear();
    m_info.music.coverMime.clear();
}

void WmEncoderControl::Start() {
    if (GetRunState() == kRunning)
        throw WMException(cld::wmerr::kBusy);
    Join();
    if (!m_active)
        throw WMException(cld::wmerr::kNoSourceGroup);
    if (m_active->GetInput().empty())
        throw WMException(cld::wmerr::kNoInput);
    if (!m_active->GetProfile())
        throw WMException(cld::wmerr::kProfileIndex);
    if (m_output.empty())
        throw WMException(cld::wmerr::kNoOutputFile);
    m_error = 0;
    m_lastReport = {};
    const WmVideoSource* video = m_active->GetVideoSource();
    std::unique_ptr<cld::Transcoder> transcoder;
    cld::VideoTranscoder* videoTranscoder = nullptr;
    // A recording from a sound device goes the way of the captures: stamped by the
    // device's clock, and kept up to a failure.
    if (video || cld::isDeviceSource(m_active->GetInput())) {
        auto capture = std::make_unique<cld::VideoTranscoder>();
        capture->Open(m_active->GetInput(), video ? video->GetInput() : std::string(),
                      *m_active->GetProfile(), m_output, m_info,
                      video ? video->GetViews(WmVideoSource::kPreview) : nullptr,
                      video ? video->GetViews(WmVideoSource::kPostview) : nullptr);
        videoTranscoder = capture.get();
        transcoder = std::move(capture);
    } else {
        auto conversion = std::make_unique<cld::MediaTranscoder>();
        conversion->setReplaceExisting(m_replaceExisting);
        conversion->Open(m_active->GetInputPath(), *m_active->GetProfile(), m_output, m_info);
        transcoder = std::move(conversion);
    }
    m_transcoder = std::move(transcoder);
    m_videoTranscoder = videoTranscoder;
    m_stop = false;
    m_state = kRunning;
    try {
        m_thread = std::thread([this] {
            m_error = m_transcoder->Run(m_stop);
            // Read by the caller once it sees the stopped state.
            if (m_videoTranscoder)
                m_lastReport = m_videoTranscoder->GetReport();
            m_state = kStopped;
        });
    } catch (const std::system_error&) {
        m_state = kStopped;
        m_transcoder.reset();
        m_videoTranscoder = nullptr;
        throw WMException(cld::wmerr::kOutOfMemory);
    }
}

int WmEncoderControl::GetRunState() const {
    return m_state.load();
}

void WmEncoderControl::Stop() {
    if (m_state.load() == kRunning)
        m_state = kStopping;
    m_stop = true;
    Join();
}

void WmEncoderControl::Join() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_transcoder) {
        m_lastStats.encodedMilliseconds = m_transcoder->GetEncodedMilliseconds();
        m_lastStats.fileSize = m_transcoder->GetFileSize();
        m_lastStats.bitrate = m_transcoder->GetBitrate();
        if (m_videoTranscoder)
            m_lastReport = m_videoTranscoder->GetReport();
        m_videoTranscoder = nullptr;
        m_transcoder.reset();
    }
    if (m_state.load() == kStopping)
        m_state = kStopped;
}

WmStatistics WmEncoderControl::GetStatistics() const {
    if (!m_transcoder)
        return m_lastStats;
    WmStatistics st;
    st.encodedMilliseconds = m_transcoder->GetEncodedMilliseconds();
    st.fileSize = m_transcoder->GetFileSize();
    st.bitrate = m_transcoder->GetBitrate();
    return st;
}

uint32_t WmEncoderControl::GetLastErrorCode() const {
    return m_error.load();
}

int WmEncoderControl::GetSourcePluginCount() {
    m_plugins = listSourcePlugins();
    m_pluginsListed = true;
    return static_cast<int>(m_plugins.size());
}

WmSourcePluginInfo WmEncoderControl::GetSourcePluginInfo(int index) {
    if (!m_pluginsListed)
        GetSourcePluginCount();
    if (index < 0 || index >= static_cast<int>(m_plugins.size()))
        throw WMException(cld::wmerr::kInvalidArg);
    return m_plugins[static_cast<size_t>(index)];
}
