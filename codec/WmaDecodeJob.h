#pragma once

#include "CodecJob.h"
#include "IWmReaderSink.h"
#include "WavStreamWriter.h"
#include "WmReader.h"

#include <memory>
#include <string>

// Decodes a Windows Media (or any FFmpeg-readable) file to a PCM WAVE file. The reader
// delivers the samples on its own thread; this job writes them and keeps the counters
// the progress dialog polls. Open() and Start() return 1, or 0 with GetErrorCode():
// 101 input not opened, 102 output not created, 103 no audio, 104 the WAVE stream cannot
// take the audio format, 105 the reader did not start. GetProgress() is the reader's
// position against the file's duration, in percent.
class WmaDecodeJob : public CodecJob, private IWmReaderSink {
public:
    WmaDecodeJob();
    ~WmaDecodeJob() override;

    int Open(const std::string& input, const std::string& output);
    int Start();
    void Stop();
    int64_t GetDuration() const;

private:
    void OnSample(int64_t sampleTime, int64_t sampleDuration, const uint8_t* data,
                  size_t length) override;
    void OnStatus(int status, uint32_t result) override;
    void CloseAll();
    void Fail(int code, uint32_t detail);

    std::unique_ptr<WmReader> m_reader;
    std::unique_ptr<WavStreamWriter> m_writer;
    int64_t m_duration = 0;
    int64_t m_position = 0;
    bool m_writeFailed = false;
};
