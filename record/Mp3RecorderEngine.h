#pragma once

#include "CaptureEngine.h"
#include "Mp3EncoderParams.h"
#include "Mp3StreamEncoder.h"

#include <atomic>
#include <string>

namespace cld {

// The capture engine bound to the MP3 stream encoder: a recording opens the encoder on
// the output file, encodes every captured buffer and closes the file when it stops.
class Mp3RecorderEngine : public CaptureEngine {
public:
    Mp3RecorderEngine() = default;
    ~Mp3RecorderEngine() override;

    // The one recorder of the process; created on first use, lives until exit.
    static Mp3RecorderEngine& Instance();

    void SetOutputFile(const std::string& path) { m_outputFile = path; }
    const std::string& GetOutputFile() const { return m_outputFile; }
    void SetParams(const Mp3EncoderParams& params) { m_params = params; }
    Mp3EncoderParams& Params() { return m_params; }
    // The encoder's error code of the recording (0 when none): 103 the encoder refused the
    // format, 102 the file could not be created or written (a full disk).
    int GetEncoderError() const { return m_encoderError.load(); }
    int GetConsumerError() const override { return GetEncoderError(); }
    // The system's error number of the write that failed (0 when unknown).
    int GetWriteErrno() const { return m_writeErrno.load(); }

protected:
    bool BeginConsume(int channels, int sampleRate, int bitsPerSample) override;
    size_t Consume(const uint8_t* data, size_t bytes) override;
    void EndConsume() override;

private:
    Mp3StreamEncoder m_encoder;
    Mp3EncoderParams m_params;
    std::string m_outputFile;
    std::atomic<int> m_encoderError{0};
    std::atomic<int> m_writeErrno{0};
};

} // namespace cld
