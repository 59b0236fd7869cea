#include "Mp3RecorderEngine.h"

#include <cerrno>

namespace cld {

Mp3RecorderEngine::~Mp3RecorderEngine() {
    // The encoder must be closed by this class's EndConsume, before it goes away.
    Stop();
}

Mp3RecorderEngine& Mp3RecorderEngine::Instance() {
    static Mp3RecorderEngine engine;
    return engine;
}

bool Mp3RecorderEngine::BeginConsume(int channels, int sampleRate, int bitsPerSample) {
    m_writeErrno = 0;
    m_encoder.SetParams(m_params);
    const bool ok = m_encoder.Open(m_outputFile, channels, sampleRate, bitsPerSample) == 1;
    m_encoderError = ok ? 0 : m_encoder.GetErrorCode();
    return ok;
}

size_t Mp3RecorderEngine::Consume(const uint8_t* data, size_t bytes) {
    errno = 0;
    const int written = m_encoder.Write(data, bytes);
    if (written <= 0 && m_encoder.GetErrorCode() != 0 && m_encoderError.load() == 0) {
        // The file layer's own reason, while it is still the last one.
        m_writeErrno = errno;
        m_encoderError = m_encoder.GetErrorCode();
    }
    return written > 0 ? static_cast<size_t>(written) : 0;
}

void Mp3RecorderEngine::EndConsume() {
    errno = 0;
    m_encoder.Close();
    if (m_encoder.GetErrorCode() != 0 && m_encoderError.load() == 0) {
        m_writeErrno = errno;
        m_encoderError = m_encoder.GetErrorCode();
    }
}

} // namespace cld
