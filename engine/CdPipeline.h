#pragma once

#include "AudioEncoder.h"
#include "Job.h"
#include "OutputPlan.h"
#include "Verify.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CDRipObject;
class SettingsRecord;

namespace cld::engine {

// What to rip: which tracks of the disc in which drive, named how, into which folder and
// format. Texts are UTF-8.
struct CdRipSpec {
    struct Track {
        int index = 0;     // the track's index on the disc (0-based)
        std::string title; // its name; empty = "TrackN"
    };
    std::vector<Track> tracks; // in the order they are ripped
    // The outputs' names as the caller settled them (one per track, taken names already
    // asked about, the log's base): used as they are, nothing is asked. Empty: the job
    // names the files "ARTIST - TITLE" and asks about taken names itself.
    std::optional<OutputPlan> names;
    // Where the ripper reads the tracks to: a folder of the job's own is made inside it.
    // Empty: inside the job's temporary folder beside the outputs.
    std::string readFolder;
    // The user's stop. false: every track in work stops at once, a cut encoding is kept
    // as NAME.part and a cut read leaves nothing. true: the tracks read whole are still
    // encoded to their end; see keepCutRead for the track being read.
    bool finishReadTracks = false;
    // With finishReadTracks: the track whose read was cut (by the stop or a read failure)
    // is encoded as far as it was read and kept under its own name, and the log says it
    // is incomplete; false: such a track leaves no file.
    bool keepCutRead = false;
    std::string artist; // the disc's; empty = "Unknown Artist" in file names
    std::string album;
    std::string year;
    std::string genre;
    int genreNumber = 255;
    std::string folder; // where the outputs go
    std::string encoder = "wav";
    EncoderOptions options;
    int width = 1; // encoders at work at once while the next track is read
    int driveIndex = 0;
    // Only the first seconds of every track (0 = whole tracks). Such a read is no rip of
    // the disc: it gets no log, no cue sheet and no cover.
    int introSeconds = 0;
    bool verify = true; // the rip log, cue sheet and AccurateRip look-up
    // The error correction as the log names it; empty = what the ripper is set to use.
    std::string errorCorrection;
    std::string coverImage; // JPEG or PNG bytes for folder.jpg and the tags; empty = none
    // Each track's loudness is measured: its tags carry its ReplayGain values, and once
    // every track is done the files get the album's as well (in formats that carry them).
    bool replayGain = false;
    // The sub-channel is read before the rip (pregaps, ISRCs, catalogue number, what lies
    // before track 1) for the log, the cue sheet and the tags.
    bool detectGaps = true;
    // Audio before track 1 (a hidden track) is ripped first, as track 0 ("HTOA"), when
    // the sub-channel reading finds some.
    bool ripHiddenTrack = false;
    // Every track is read twice and the two reads compared (test and copy).
    bool testAndCopy = false;
};

// The index a CdRipSpec::Track has for the audio before track 1.
inline constexpr int kHiddenTrack = -1;

// "ARTIST - TITLE" made a file name by the one rule; empty when the title leaves nothing.
std::string trackBaseName(const std::string& artist, const std::string& title);

// A track read whole but not exactly (silent gaps the drive never delivered, audio that
// could not be verified): its file is kept and the front end names it.
struct InexactTrack {
    size_t item = 0;
    int trackIndex = 0;
    std::string output;
    GrabTrackResult result{};
};

// Where the read of the current track stands, as the ripper last said.
struct CdReadStatus {
    int trackIndex = -1; // the disc's track being read; -1 before the first
    int percent = 0;     // of that track, 0..99; 100 once it is read
    int peak = 0;        // 0..32768
    int jitterErrors = 0;
};

// What the rip left beside its events.
struct CdRipReport {
    // The ripper's result for every track it read (the last read of a track listed twice).
    std::vector<GrabTrackResult> results;
    std::vector<std::string> outputs; // the planned final names, per item
    std::vector<InexactTrack> inexact;
    // Why nothing was read: the temporary folder could not be made (OutputNotCreated,
    // errno in `detail`), there is no ripper (NoRipper) or no encoder of that name
    // (EncoderRefused).
    Failure setupFailure = Failure::None;
    int detail = 0;
    VerifyResult verification; // attempted false when no log was written
    bool coverKept = false;
    std::string coverWhy;                     // why the cover could not be kept, when it was to be
    std::vector<std::string> albumGainFailed; // files the album's loudness could not be added to
};

// Every block of one track's audio, in order, as the pipeline hands it to the encoder (on
// that track's worker thread, once): checksums, meters and the like hang here instead of
// reading the files again.
class TrackAudioSink {
public:
    virtual ~TrackAudioSink() = default;
    // Before the first block: how many frames (16-bit stereo) the read holds.
    virtual void begin(uint64_t frames) = 0;
    virtual void add(const uint8_t* pcm, size_t bytes) = 0;
    // After the last block: `whole` when every frame of the read was handed on.
    virtual void end(bool whole) = 0;
};

// The track a sink is made for.
struct SinkTrack {
    size_t item = 0;
    int trackIndex = 0; // on the disc, 0-based
    int discTracks = 0;
};

// The rip → encode pipeline: reads track i + 1 while earlier tracks encode on up to
// `width` encoders, in a temporary folder of the job's own. Every name is settled before
// anything is read (taken names are asked about once); a finished output takes its
// final name only when complete; a cut one (the user's stop) is kept as NAME.part; a
// track whose final name is taken fails alone. The rip log, cue sheet, AccurateRip
// look-up and the cover are written once, when the job ends.
class CdPipeline : public Job {
public:
    using EncoderFactory = std::function<std::unique_ptr<AudioEncoder>()>;

    // `settings` (may be null) gives the drive's stored read offset.
    CdPipeline(CDRipObject* rip, CdRipSpec setup, VerifyEnv env, SettingsRecord* settings);
    ~CdPipeline() override;

    JobEnd run(JobObserver& observer) override;
    using SinkFactory = std::function<std::unique_ptr<TrackAudioSink>(const SinkTrack&)>;

    // Makes the encoders instead of the registry (before run()).
    void setEncoderFactory(EncoderFactory factory) { m_factory = std::move(factory); }
    // Adds a sink to every track read whole (before run()); the factory may return null.
    void addTrackSink(SinkFactory factory) { m_sinks.push_back(std::move(factory)); }
    const CdRipReport& report() const { return m_report; }
    // For the observer's calls: where the read stands.
    const CdReadStatus& readStatus() const { return m_read; }
    const CdRipSpec& setup() const { return m_spec; }
    // Reads the disc's sub-channel when the setup asks for it (gap detection) and adds the
    // hidden track to the items when it is to be ripped; run() does it unless the caller
    // did. Afterwards setup() lists every item the job will read.
    void prepare();
    const accurip::DiscDetails& discDetails() const { return m_details; }

private:
    struct Encoding;
    struct State;
    bool settleNames(JobObserver& observer, State& state);
    bool readTrack(JobObserver& observer, State& state, size_t item, std::string& wav,
                   ItemEnd& failed);
    bool keepCut(State& state, size_t item, const std::string& wav, const ItemEnd& end);
    void logEntry(State& state, size_t item, int peak);
    std::unique_ptr<Encoding> startEncoding(State& state, size_t item, const std::string& wav);
    void finishEncoding(JobObserver& observer, State& state, Encoding& e);
    void finishAll(JobObserver& observer, State& state);
    void sendProgress(JobObserver& observer, State& state, int grabPercent);
    void writeLog(State& state, const JobEnd& end);
    // The last grab's test-and-copy result into the track's log entry.
    void noteTestAndCopy(RipLogFile& file);

    CDRipObject* m_rip;
    CdRipSpec m_spec;
    VerifyEnv m_env;
    SettingsRecord* m_settings;
    CdRipReport m_report;
    EncoderFactory m_factory;
    std::vector<SinkFactory> m_sinks;
    CdReadStatus m_read;
    accurip::DiscDetails m_details;
    bool m_prepared = false;
};

} // namespace cld::engine
