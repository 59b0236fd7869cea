#include "TrackAudio.h"

#include "AudioFileReader.h"
#include "AudioInputCheck.h"
#include "Exception.h"

#include <vector>

namespace cld::engine {

bool isLosslessAudioFile(const std::string& path) {
    const std::string ext = cld::lowerExtension(path);
    return ext == ".wav" || ext == ".wave" || ext == ".flac";
}

bool trackSumsOfFile(const std::string& path, int64_t samples, bool firstTrack, bool lastTrack,
                     TrackSums& out, std::string& why) {
    out = {};
    AudioFileReader reader;
    try {
        reader.Open(path);
        reader.GetAudioStream(0);
        const WaveFormat format = reader.GetFormat();
        if (format.formatTag != WaveFormat::kPcm && format.formatTag != WaveFormat::kExtensible) {
            why = "the file's audio is not PCM";
            return false;
        }
        if (format.channels != 2 || format.bitsPerSample != 16 || format.samplesPerSec != 44100) {
            why = "the file's audio is not 16-bit stereo at 44100 Hz, as a CD's";
            return false;
        }
        const int64_t length = samples > 0 ? samples : reader.GetLength();
        accurip::TrackChecksummer ar(length, firstTrack, lastTrack);
        accurip::CtdbTrackChecksummer ctdb(length);
        constexpr int64_t kFrames = 588 * 75;
        std::vector<uint8_t> buffer(static_cast<size_t>(kFrames) * 4);
        int64_t at = 0;
        for (;;) {
            const int64_t got = reader.ReadInto(at, kFrames, buffer.data());
            if (got <= 0)
                break;
            ar.add(buffer.data(), static_cast<size_t>(got) * 4);
            ctdb.add(buffer.data(), static_cast<size_t>(got) * 4);
            at += got;
        }
        out.ar = ar.result();
        out.ctdb = ctdb.result();
    } catch (const Exception& e) {
        why = e.GetText().empty()
                  ? "the file cannot be read (error " + std::to_string(e.GetCode()) + ")"
                  : e.GetText();
        return false;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return true;
}

} // namespace cld::engine
