#include "WmaDecodeJob.h"

#include "Exception.h"
#include "SameFile.h"
#include "WMException.h"
#include "WmErrors.h"

WmaDecodeJob::WmaDecodeJob() = default;

WmaDecodeJob::~WmaDecodeJob() {
    // The reader's thread must be gone before the writer it feeds.
    m_reader.reset();
    m_writer.reset();
}

void WmaDecodeJob::Fail(int code, uint32_t detail) {
    CloseAll();
    std::lock_guard lock(m_lock);
    m_error = code;
    m_detail = detail;
    m_running = false;
}

void WmaDecodeJob::CloseAll() {
    m_reader.reset();
    std::lock_guard lock(m_lock);
    if (m_writer)
        m_writer->Close();
    m_writer.reset();
}

int WmaDecodeJob::Open(const std::string& input, const std::string& output) {
    CloseAll();
    {
        std::lock_guard lock(m_lock);
        m_error = 0;
        m_detail = 0;
        m_input = input;
        m_output = output;
        m_position = 0;
        m_duration = 0;
        m_progress = 0;
        m_bytesDone = 0;
        m_writeFailed = false;
        m_watchBytes.Reset();
    }
    if (cld::sameFile(input, output)) {
        Fail(kErrOutput, cld::wmerr::kOutputCreate);
        return 0;
    }
    try {
        m_reader = std::make_unique<WmReader>(static_cast<IWmReaderSink*>(this));
        m_reader->Open(input);
    } catch (const WMException& e) {
        Fail(kErrInput, e.GetCode());
        return 0;
    }
    {
        std::lock_guard lock(m_lock);
        m_duration = m_reader->GetDuration();
    }
    if (!m_reader->HasAudio()) {
        Fail(kErrEncoder, cld::wmerr::kNoAudio);
        return 0;
    }
    const WaveFormat format = m_reader->GetAudioFormat();
    auto writer = std::make_unique<WavStreamWriter>();
    try {
        writer->Create(output);
    } catch (const Exception& e) {
        Fail(kErrOutput, e.GetCode());
        return 0;
    }
    try {
        writer->SetFormat(format, format);
    } catch (const Exception& e) {
        writer->Discard();
        Fail(kErrHeader, e.GetCode());
        return 0;
    }
    std::lock_guard lock(m_lock);
    m_writer = std::move(writer);
    return 1;
}

int WmaDecodeJob::Start() {
    if (!m_reader || !m_writer) {
        std::lock_guard lock(m_lock);
        m_error = kErrStart;
        return 0;
    }
    try {
        m_reader->Start();
    } catch (const WMException& e) {
        Fail(kErrStart, e.GetCode());
        return 0;
    }
    return 1;
}

void WmaDecodeJob::Stop() {
    if (m_reader) {
        try {
            m_reader->Stop();
        } catch (const WMException&) {
            // The reader did not confirm; closing below ends it either way.
        }
    }
    CloseAll();
    std::lock_guard lock(m_lock);
    m_running = false;
    m_watchBytes.Stop();
}

int64_t WmaDecodeJob::GetDuration() const {
    std::lock_guard lock(m_lock);
    return m_duration;
}

void WmaDecodeJob::OnSample(int64_t sampleTime, int64_t sampleDuration, const uint8_t* data,
                            size_t length) {
    std::lock_guard lock(m_lock);
    // After a failed write the rest is not written: the file is removed when the reader ends.
    if (m_writer && !m_writeFailed && !m_writer->Write(data, length))
        m_writeFailed = true;
    m_position = sampleTime + sampleDuration;
    m_bytesDone += length;
    if (m_duration > 0) {
        const double p = static_cast<double>(m_position / 10000) /
                         static_cast<double>(m_duration / 10000 > 0 ? m_duration / 10000 : 1) *
                         100.0;
        m_progress = p >= 100.0 ? 100 : p <= 0.0 ? 0 : static_cast<int>(p);
    }
}

void WmaDecodeJob::OnStatus(int status, uint32_t) {
    std::lock_guard lock(m_lock);
    switch (status) {
    case WmReader::kStarted:
        m_running = true;
        m_watchBytes.Restart();
        break;
    case WmReader::kEndOfFile:
    case WmReader::kStopped:
    case WmReader::kClosed:
        if (m_writer && !m_writer->Close()) {
            m_writeFailed = true;
            m_detail = m_writer->GetCloseError();
        }
        m_writer.reset();
        m_watchBytes.Stop();
        if (status == WmReader::kEndOfFile && m_duration > 0)
            m_progress = 100;
        if (m_writeFailed && m_error == 0) {
            m_error = kErrOutput;
            if (m_detail == 0)
                m_detail = cld::wmerr::kWriteFailed;
        }
        m_running = false;
        break;
    default:
        break;
    }
}
