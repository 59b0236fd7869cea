#include "AudioFileReader.h"

#include "Exception.h"
#include "InputFile.h"
#include "WavHeaderParser.h"
#include "WmErrors.h"

#include <sys/stat.h>

AudioFileReader::~AudioFileReader() {
    Close();
}

void AudioFileReader::Open(const std::string& path) {
    Close();
    uint32_t failure = 0;
    std::FILE* f = cld::openInputFile(path, failure);
    if (!f)
        throw Exception(failure);
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) {
        std::fclose(f);
        throw Exception(cld::wmerr::kInputOpen);
    }
    try {
        const cld::WavLayout layout = cld::parseWavHeader(f, static_cast<uint64_t>(st.st_size));
        m_format = layout.format;
        m_dataOffset = layout.dataOffset;
        m_dataBytes = layout.dataBytes;
    } catch (...) {
        std::fclose(f);
        throw;
    }
    m_file = f;
    m_ioBuffer.resize(1 << 16);
    std::setvbuf(m_file, m_ioBuffer.data(), _IOFBF, m_ioBuffer.size());
    m_filePos = UINT64_MAX;
}

void AudioFileReader::GetAudioStream(int index) {
    if (!m_file)
        throw Exception(cld::wmerr::kPointer);
    if (index != 0)
        throw Exception(cld::wmerr::kNoAudio);
    m_streamOpen = true;
}

WaveFormat AudioFileReader::GetFormat() const {
    if (!m_streamOpen)
        throw Exception(cld::wmerr::kPointer);
    return m_format;
}

int64_t AudioFileReader::GetLength() const {
    if (!m_streamOpen)
        throw Exception(cld::wmerr::kPointer);
    return static_cast<int64_t>(m_dataBytes / m_format.blockAlign);
}

std::vector<uint8_t> AudioFileReader::Read(int64_t start, int64_t frames) {
    const int64_t length = GetLength();
    if (start < 0 || frames <= 0 || start >= length)
        return {};
    if (frames > length - start)
        frames = length - start;
    std::vector<uint8_t> buf(static_cast<size_t>(frames) * m_format.blockAlign);
    const int64_t got = ReadInto(start, frames, buf.data());
    buf.resize(static_cast<size_t>(got) * m_format.blockAlign);
    return buf;
}

int64_t AudioFileReader::ReadInto(int64_t start, int64_t frames, void* buffer) {
    const int64_t length = GetLength();
    if (start < 0 || frames <= 0 || start >= length)
        return 0;
    if (frames > length - start)
        frames = length - start;
    const uint64_t pos = m_dataOffset + static_cast<uint64_t>(start) * m_format.blockAlign;
    if (pos != m_filePos) {
        if (fseeko(m_file, static_cast<off_t>(pos), SEEK_SET) != 0)
            throw Exception(cld::wmerr::kReadFailed);
        m_filePos = pos;
    }
    const size_t want = static_cast<size_t>(frames) * m_format.blockAlign;
    const size_t got = std::fread(buffer, 1, want, m_file);
    m_filePos += got;
    if (got < want && std::ferror(m_file)) {
        m_filePos = UINT64_MAX;
        throw Exception(cld::wmerr::kReadFailed);
    }
    // The file may have shrunk since it was opened; whole frames only.
    return static_cast<int64_t>(got / m_format.blockAlign);
}

void AudioFileReader::Close() {
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    m_streamOpen = false;
    m_filePos = UINT64_MAX;
}
