#include "WmaEncodeJob.h"

#include "WMException.h"

#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace

WmaEncodeJob::WmaEncodeJob(std::unique_ptr<WmEncoderControl> encoder)
    : m_encoder(std::move(encoder)) {}

WmaEncodeJob::~WmaEncodeJob() {
    if (m_encoder)
        m_encoder->Stop();
}

void WmaEncodeJob::EncodeFile(const std::string& input, const std::string& output,
                              const AudioTags* tags) {
    try {
        m_encoder->PrepareForFile();
        WmSourceGroup& group = m_encoder->AddSourceGroup();
        group.SetInput("FILE://" + input);
        group.Activate();
        group.SetProfile(m_encoder->GetProfile(m_profileIndex));
        m_encoder->SetOutputFile(output);
        m_encoder->SetReplaceExisting(m_replaceExisting);
        if (tags) {
            m_encoder->SetDisplayInfo(tags->artist, tags->title, "", "", "");
            m_encoder->SetMusicTags(*tags);
        }
        m_fileStart = std::time(nullptr);
        m_encoder->Start();
    } catch (const WMException&) {
        if (m_encoder->GetRunState() != WmEncoderControl::kRunning)
            m_encoder->ReleaseSourceGroup();
        throw;
    }
}

bool WmaEncodeJob::IsEncoding() const {
    return m_encoder->GetRunState() == WmEncoderControl::kRunning;
}

void WmaEncodeJob::AbortEncoding() {
    m_encoder->Stop();
}

bool WmaEncodeJob::WaitWhileStarting(std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (m_encoder->GetRunState() == WmEncoderControl::kStarting) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

WmaEncodeJob::Figures WmaEncodeJob::RefreshStatistics(int barRangeEnd) const {
    const WmStatistics st = m_encoder->GetStatistics();
    Figures f;
    f.encodedSeconds = st.encodedMilliseconds / 1000;
    f.barPosition =
        static_cast<int>(f.encodedSeconds > barRangeEnd ? barRangeEnd : f.encodedSeconds);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld Kbps", static_cast<long long>(st.bitrate / 1000));
    f.bitrateText = buf;
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(st.fileSize) / 1024.0 / 1024.0);
    f.fileSizeText = buf;
    return f;
}

bool WmaEncodeJob::OnStopped() {
    if (m_encoder->GetRunState() != WmEncoderControl::kStopped || !m_encoder->HasSourceGroup())
        return false;
    m_encoder->ReleaseSourceGroup();
    return true;
}

uint32_t WmaEncodeJob::GetLastErrorCode() const {
    return m_encoder->GetLastErrorCode();
}

std::string WmaEncodeJob::CdOutputName(const std::string& folder, const std::string& artist,
                                       const std::string& trackTitle) {
    return joinPath(folder, artist + " - " + trackTitle + ".wma");
}

std::string WmaEncodeJob::FolderOutputName(const std::string& folder, const std::string& input) {
    return joinPath(folder, std::filesystem::path(input).stem().string() + ".wma");
}
