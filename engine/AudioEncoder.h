#pragma once

#include "AudioTags.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cld::engine {

// The PCM an encoder is fed: interleaved signed little-endian integers.
struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;
    int bitsPerSample = 16;
};

// An encoder's settings, by name, as the user or the settings store gives them
// ("bitrate" = "192", "level" = "5", "profile" = "3"). Each encoder reads its own keys and
// ignores the rest.
using EncoderOptions = std::map<std::string, std::string>;

// What kind of failure an encoder's last one was, so that a job can tell whose fault it
// is (the settings, the output's place, the disk).
enum class EncoderFault {
    None,
    Settings, // the encoder refused its settings or the PCM it is given
    Output,   // the output could not be created (a name taken, a folder refused)
    Write,    // writing the output failed part of the way (a full disk, say)
    Encoder,  // the encoder itself failed while encoding
};

// One output file in one format. open() creates the output under a temporary name of the
// program's own; finish() completes it and gives it its name; abort() removes it. A name
// that is taken is never replaced unless the job allows replacing a regular file there.
class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    // The file extension with its dot (".mp3").
    virtual std::string extension() const = 0;
    // `expectedFrames` is the input's length in sample frames when known (0 otherwise).
    virtual bool open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                      uint64_t expectedFrames, bool replaceExisting) = 0;
    // Encodes `bytes` bytes of PCM (whole frames or not: a cut frame waits for the next
    // call). False on a failure.
    virtual bool write(const uint8_t* data, size_t bytes) = 0;
    virtual bool finish() = 0;
    virtual void abort() = 0;
    // Why the last call failed (empty when it did not), the failure code behind it
    // (the media layer's code, a system error number carried as
    // cld::wmerr::fromErrno(errno); 0 when none), whether the name was taken, and the
    // kind of failure.
    virtual std::string error() const = 0;
    virtual uint32_t errorDetail() const { return 0; }
    virtual bool nameTaken() const { return false; }
    virtual EncoderFault fault() const { return EncoderFault::None; }
};

// One setting of an encoder, as a settings box offers it: the option's key, an English
// label, what values it takes and the value the encoder uses when it is not given.
struct EncoderSetting {
    enum class Kind {
        Whole,   // a whole number from `low` to `high`
        Decimal, // a number from `low` to `high` with decimals
        Choice,  // one of `choices`
        Flag,    // "1" (on) or "0" (off)
    };
    std::string key;
    std::string label;
    Kind kind = Kind::Whole;
    double low = 0;
    double high = 0;
    std::vector<std::string> choices;
    std::string fallback; // the default, as the option's text
};

// What a settings box needs to know of an encoder.
struct EncoderInfo {
    std::string name;        // the registry's name ("vorbis")
    std::string displayName; // "Ogg Vorbis"
    std::string extension;   // ".ogg"
    bool lossless = false;
    std::vector<EncoderSetting> settings;
};

// Makes encoders by name ("wav", "flac", "mp3", "wma", "opus", "vorbis", "aac").
class EncoderRegistry {
public:
    using Factory = std::function<std::unique_ptr<AudioEncoder>(const EncoderOptions&)>;
    static EncoderRegistry& instance();
    // Null when no encoder has that name.
    std::unique_ptr<AudioEncoder> make(const std::string& name,
                                       const EncoderOptions& options = {}) const;
    std::vector<std::string> names() const;
    // The encoder's description; null when no encoder has that name.
    const EncoderInfo* info(const std::string& name) const;
    // Every encoder's, in the order of names().
    std::vector<EncoderInfo> infos() const;
    void add(EncoderInfo info, Factory factory);

private:
    EncoderRegistry();
    std::map<std::string, std::pair<EncoderInfo, Factory>> m_encoders;
};

// Whether the encoder's files carry loudness values (ReplayGain or R128 tags): not WAV
// and WMA files.
bool carriesLoudness(const std::string& encoder);

} // namespace cld::engine
