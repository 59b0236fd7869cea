#include "CdPipeline.h"

#include "AccurateRip.h"
#include "AlbumGain.h"
#include "Ctdb.h"
#include "DiscDetails.h"
#include "FolderCover.h"
#include "LoudnessMeter.h"
#include "Mp3Tags.h"
#include "OutputPlan.h"
#include "RipLog.h"
#include "RipperCalls.h"
#include "SafeFiles.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>

namespace cld::engine {

namespace {

// Where the audio of a WAV file the ripper wrote starts, and how many bytes it holds.
bool wavData(std::ifstream& in, uint64_t& bytes) {
    char head[12];
    if (!in.read(head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    for (;;) {
        char chunk[8];
        if (!in.read(chunk, 8))
            return false;
        const uint32_t size = static_cast<uint8_t>(chunk[4]) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(chunk[5])) << 8) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(chunk[6])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(chunk[7])) << 24);
        if (std::memcmp(chunk, "data", 4) == 0) {
            bytes = size;
            return true;
        }
        in.seekg(size + (size & 1), std::ios::cur);
    }
}

// Feeds `bytes` bytes of 16-bit stereo PCM from `in` to the meter, then goes back to
// where it started.
void measure(std::ifstream& in, uint64_t bytes, LoudnessMeter& meter) {
    const std::streampos start = in.tellg();
    std::vector<int16_t> samples(1 << 15);
    uint64_t left = bytes;
    while (left >= 4) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(left / 4 * 4, samples.size() * sizeof(int16_t)));
        in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(want));
        const size_t got = static_cast<size_t>(in.gcount()) / 4;
        if (got == 0)
            break;
        meter.addFrames(samples.data(), got);
        left -= got * 4;
    }
    in.clear();
    in.seekg(start);
}

// The track's AccurateRip, CRC32 and CTDB checksums, from the audio as it passes.
class ChecksumSink : public TrackAudioSink {
public:
    ChecksumSink(bool firstTrack, bool lastTrack) : m_first(firstTrack), m_last(lastTrack) {}
    void begin(uint64_t frames) override {
        m_sum = std::make_unique<accurip::TrackChecksummer>(static_cast<int64_t>(frames), m_first,
                                                            m_last);
        m_ctdb = std::make_unique<accurip::CtdbTrackChecksummer>(static_cast<int64_t>(frames));
    }
    void add(const uint8_t* pcm, size_t bytes) override {
        if (m_sum)
            m_sum->add(pcm, bytes);
        if (m_ctdb)
            m_ctdb->add(pcm, bytes);
    }
    void end(bool whole) override {
        if (m_sum && whole) {
            sums = m_sum->result();
            ctdb = std::make_shared<const accurip::CtdbTrackSums>(m_ctdb->result());
            done = true;
        }
        m_sum.reset();
        m_ctdb.reset();
    }

    accurip::TrackChecksums sums;
    std::shared_ptr<const accurip::CtdbTrackSums> ctdb;
    bool done = false;

private:
    bool m_first;
    bool m_last;
    std::unique_ptr<accurip::TrackChecksummer> m_sum;
    std::unique_ptr<accurip::CtdbTrackChecksummer> m_ctdb;
};

std::string hex8(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

} // namespace

std::string trackBaseName(const std::string& artist, const std::string& title) {
    const std::string titlePart = files::safeName(title);
    if (titlePart.empty())
        return {};
    return files::safeName(files::safeName(artist) + " - " + titlePart);
}

// One track on its way through an encoder, on a thread of its own.
struct CdPipeline::Encoding {
    Encoding() = default;
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;
    ~Encoding() {
        if (thread.joinable())
            thread.join();
    }

    size_t item = 0;
    std::string wav;    // the track's temporary WAV file
    std::string staged; // the encoder's output inside the job's folder
    std::unique_ptr<AudioEncoder> encoder;
    AudioTags tags;
    std::unique_ptr<LoudnessMeter> meter; // with ReplayGain: the track's loudness
    // Every block of the audio goes through these; `checksums` is one of them (or null).
    std::vector<std::unique_ptr<TrackAudioSink>> sinks;
    ChecksumSink* checksums = nullptr;
    // The read of the track was cut (the user's stop or a read failure): its output is
    // kept under its own name as what was read, and the item ends as `readEnd` says.
    bool cutRead = false;
    ItemEnd readEnd;
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<uint64_t> bytesDone{0};
    std::atomic<uint64_t> bytesTotal{0};
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    // Set by the thread before `done`.
    bool ok = false;
    bool cut = false; // stopped by the job's cancel: the output holds part of the track
    ItemFailure failure;
};

struct CdPipeline::State {
    OutputPlan plan;
    std::string temp;     // the job's own folder: the encoders' outputs until they are whole
    std::string reads;    // a folder of its own in it for the ripper, which clears its
                          // folder of unlocked temporary files of its kind at every track
    std::string readsOwn; // the folder made for `reads` elsewhere (removed at the end)
    // The track just read was cut, and is to be kept as far as it was read.
    bool cutRead = false;
    ItemEnd cutEnd;
    std::deque<std::unique_ptr<Encoding>> encoding;
    std::vector<ItemOutcome> outcomes;
    std::vector<std::string> kept; // per item: the NAME.part a cut output was kept as
    JobEnd end;
    RipLogRequest log;
    bool wholeTracks = true;
    int discTracks = 0;
    uint32_t discId = 0;
    std::chrono::steady_clock::time_point started;
    size_t reading = 0;
    bool failed = false;      // an item failed in a way that stops the job
    AlbumGain album;          // the loudness of every track converted, for the album's values
    uint64_t audioDone = 0;   // audio bytes of the tracks whose encoding ended
    uint64_t outputBytes = 0; // the bytes of the outputs completed
};

CdPipeline::CdPipeline(CDRipObject* rip, CdRipSpec setup, VerifyEnv env, SettingsRecord* settings)
    : m_rip(rip), m_spec(std::move(setup)), m_env(std::move(env)), m_settings(settings) {}

CdPipeline::~CdPipeline() = default;

bool CdPipeline::settleNames(JobObserver& observer, State& state) {
    if (m_spec.names) {
        // The caller's names, settled with the user already.
        state.plan = *m_spec.names;
        m_report.outputs = state.plan.tracks;
        return true;
    }
    const std::string folder = m_spec.folder;
    const std::string artist = m_spec.artist.empty() ? "Unknown Artist" : m_spec.artist;
    const std::string extension = m_factory()->extension();
    std::vector<std::string> outputs;
    for (const CdRipSpec::Track& t : m_spec.tracks) {
        const std::string title = t.title.empty() ? "Track" + std::to_string(t.index + 1) : t.title;
        std::string base = trackBaseName(artist, title);
        if (base.empty())
            base = "Track" + std::to_string(t.index + 1);
        outputs.push_back((std::filesystem::path(folder) / (base + extension)).string());
    }
    const bool logged = m_spec.verify && m_spec.introSeconds <= 0;
    state.plan = makeOutputPlan(std::move(outputs),
                                logged ? (std::filesystem::path(folder) /
                                          accurip::ripLogBaseName(m_spec.artist, m_spec.album))
                                             .string()
                                       : std::string());
    const std::vector<std::string> taken = state.plan.takenPaths();
    if (!taken.empty()) {
        Question q;
        q.kind = QuestionKind::TakenNames;
        q.taken = taken;
        q.outputs = state.plan.tracks.size();
        switch (observer.ask(q)) {
        case Answer::Replace:
            state.plan.replaceExisting = true;
            break;
        case Answer::KeepBoth:
            state.plan.keepBoth();
            break;
        default:
            return false;
        }
    }
    m_report.outputs = state.plan.tracks;
    return true;
}

void CdPipeline::sendProgress(JobObserver& observer, State& state, int grabPercent) {
    Progress p;
    const size_t count = m_spec.tracks.size();
    p.count = count;
    size_t done = 0;
    for (ItemOutcome o : state.outcomes)
        done += o != ItemOutcome::NotStarted ? 1 : 0;
    p.itemsDone = done;
    double work = static_cast<double>(done);
    uint64_t audio = state.audioDone;
    for (const auto& e : state.encoding) {
        const uint64_t total = e->bytesTotal.load();
        const uint64_t bytes = e->bytesDone.load();
        audio += bytes;
        if (total)
            work += static_cast<double>(bytes) / static_cast<double>(total);
        if (e->done.load())
            continue;
        // The first track still encoding: its share on the item's bar.
        if (p.running.empty()) {
            p.itemPosition = total ? static_cast<int>(bytes * 100 / total) : 0;
            p.itemSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - e->started)
                    .count();
        }
        p.running.push_back(e->item);
    }
    // Reading and encoding count half each.
    const double reads = static_cast<double>(state.reading) + grabPercent / 100.0;
    p.share =
        count ? std::clamp((reads + work) / (2.0 * static_cast<double>(count)), 0.0, 1.0) : 1.0;
    p.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - state.started).count();
    // The time left, from the share done so far, once there is enough of it to tell.
    if (p.share > 0.02 && p.seconds > 1)
        p.remaining = p.seconds * (1 - p.share) / p.share;
    p.outputBytes = state.outputBytes;
    p.audioBytesDone = audio;
    p.samplesDone = audio / 4;
    p.counters = true;
    observer.progress(p);
}

bool CdPipeline::readTrack(JobObserver& observer, State& state, size_t item, std::string& wav,
                           ItemEnd& failed) {
    const int trackIndex = m_spec.tracks[item].index;
    // A track listed twice reads into a file of its own each time.
    const auto before = std::count_if(
        m_spec.tracks.begin(), m_spec.tracks.begin() + static_cast<std::ptrdiff_t>(item),
        [&](const CdRipSpec::Track& t) { return t.index == trackIndex; });
    char name[48];
    if (trackIndex == kHiddenTrack)
        std::snprintf(name, sizeof name, "Track 00.wav");
    else if (before == 0)
        std::snprintf(name, sizeof name, "Track %02d.wav", trackIndex + 1);
    else
        std::snprintf(name, sizeof name, "Track %02d (%d).wav", trackIndex + 1,
                      static_cast<int>(before) + 1);
    wav = (std::filesystem::path(state.reads) / name).string();
    failed.failure.worker = WorkerKind::CdRead;
    failed.failure.what = Failure::ReadFailed;
    failed.failure.file = wav;
    const int endSeconds = m_spec.introSeconds > 0 ? m_spec.introSeconds : -1;
    {
        LibraryText folderText(state.reads + "/");
        LibraryText nameText(name);
        m_rip->SetTestAndCopy(m_spec.testAndCopy && state.wholeTracks ? 1 : 0);
        if (m_rip->SetOutputFolder(folderText.get()) != 0 ||
            (trackIndex == kHiddenTrack
                 ? m_rip->AddHiddenTrack(nameText.get())
                 : m_rip->AddTrack(trackIndex, nameText.get(), 0, endSeconds)) != 0) {
            // A refused job is not queued; nothing is left behind for the next grab.
            failed.failure.code = GrabStatus::ErrorNameRefused;
            return false;
        }
    }
    if (m_settings)
        applyStoredReadOffset(*m_settings, m_env.drives, m_spec.driveIndex);
    if (m_rip->StartGrab() == 0) {
        failed.failure.code = GrabStatus::ErrorOpenFailed;
        return false;
    }
    m_read = CdReadStatus{};
    m_read.trackIndex = trackIndex;
    // The ripper's result for this read, kept for the log and the front end.
    const auto keepResult = [&](GrabTrackResult& r) {
        if (!lastTrackResult(*m_rip, r) || r.trackIndex != trackIndex)
            return false;
        auto& results = state.log.results;
        results.erase(
            std::remove_if(results.begin(), results.end(),
                           [&](const GrabTrackResult& g) { return g.trackIndex == trackIndex; }),
            results.end());
        results.push_back(r);
        return true;
    };
    // Until the ripper's worker has begun this read, its status still holds the figures of
    // the read before: they are not this track's.
    bool begun = false;
    const auto readBegun = [&] {
        if (begun)
            return true;
        if (GrabStatus* status = m_rip->GetStatus()) {
            if (NameText* file = status->GetFileName()) {
                begun = std::strcmp(file->text(), name) == 0;
                file->Destroy();
            }
            status->Destroy();
        }
        return begun;
    };
    GrabSnapshot s = snapshot(*m_rip);
    for (;;) {
        s = snapshot(*m_rip);
        if (readBegun() || !s.running) {
            m_read.percent = s.percent;
            m_read.peak = s.peak;
            m_read.jitterErrors = s.jitterErrors;
        }
        if (cancelled()) {
            m_rip->AbortGrab();
            // The worker finishes its chunk and closes the WAV file.
            for (int i = 0; i < 1000 && snapshot(*m_rip).running; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            failed.outcome = ItemOutcome::Stopped;
            failed.failure = {};
            GrabTrackResult r{};
            keepResult(r);
            return keepCut(state, item, wav, failed);
        }
        if (!s.running) {
            m_read.percent = 100;
            sendProgress(observer, state, 100);
            break;
        }
        sendProgress(observer, state, s.percent);
        observer.wait(300, [&] {
            if (cancelled() || !snapshot(*m_rip).running)
                return true;
            return std::any_of(state.encoding.begin(), state.encoding.end(),
                               [](const auto& e) { return e->done.load(); });
        });
        // Earlier tracks that are done end in disc order meanwhile.
        while (!state.encoding.empty() && state.encoding.front()->done.load()) {
            finishEncoding(observer, state, *state.encoding.front());
            state.encoding.pop_front();
        }
    }
    GrabTrackResult r{};
    const bool haveResult = keepResult(r);
    if (s.error == GrabStatus::ErrorReadFailed || s.error == GrabStatus::ErrorNotVerified) {
        // A track saved at full length whose sectors were not all read exactly (silent
        // gaps, audio that could not be verified) is kept and named; only a track whose
        // file stops early fails the job.
        if (haveResult && (r.result == GrabStatus::TrackNotVerified ||
                           (r.result == GrabStatus::TrackFailed && r.unreadSectors > 0))) {
            m_report.inexact.push_back({item, trackIndex, state.plan.tracks[item], r});
            s.error = GrabStatus::ErrorNone;
        }
    }
    if (s.error != GrabStatus::ErrorNone) {
        failed.failure.code = s.error;
        return keepCut(state, item, wav, failed);
    }
    logEntry(state, item, s.peak);
    return true;
}

bool CdPipeline::keepCut(State& state, size_t item, const std::string& wav, const ItemEnd& end) {
    if (!m_spec.finishReadTracks || !m_spec.keepCutRead)
        return false;
    std::ifstream in(wav, std::ios::binary);
    uint64_t bytes = 0;
    if (!in || !wavData(in, bytes) || bytes == 0)
        return false;
    state.cutRead = true;
    state.cutEnd = end;
    logEntry(state, item, m_read.peak);
    return true;
}

void CdPipeline::logEntry(State& state, size_t item, int peak) {
    const int trackIndex = m_spec.tracks[item].index;
    if (state.wholeTracks && m_spec.verify && trackIndex != kHiddenTrack) {
        // The checksums come with the encoding, from the audio as read; the log is written
        // once, at the end.
        RipLogFile f;
        f.trackIndex = trackIndex;
        f.path = state.plan.tracks[item];
        f.title = m_spec.tracks[item].title;
        f.peak = peak;
        noteTestAndCopy(f);
        // One entry per track of the disc, in disc order, as the look-up compares them: a
        // track read again replaces its earlier entry.
        auto& files = state.log.files;
        files.erase(std::remove_if(files.begin(), files.end(),
                                   [&](const RipLogFile& g) { return g.trackIndex == trackIndex; }),
                    files.end());
        files.insert(std::upper_bound(files.begin(), files.end(), f,
                                      [](const RipLogFile& a, const RipLogFile& b) {
                                          return a.trackIndex < b.trackIndex;
                                      }),
                     f);
    }
}

std::unique_ptr<CdPipeline::Encoding> CdPipeline::startEncoding(State& state, size_t item,
                                                                const std::string& wav) {
    auto e = std::make_unique<Encoding>();
    e->item = item;
    e->wav = wav;
    e->encoder = m_factory();
    const CdRipSpec::Track& track = m_spec.tracks[item];
    e->tags.title = track.title;
    e->tags.artist = m_spec.artist;
    // The disc has one artist for all of its tracks.
    e->tags.albumArtist = m_spec.artist;
    e->tags.album = m_spec.album;
    e->tags.year = m_spec.year;
    e->tags.genre = m_spec.genre;
    e->tags.genreNumber = m_spec.genreNumber;
    e->tags.track = track.index + 1;
    if (const accurip::TrackCodes* codes = state.log.details.track(track.index + 1))
        e->tags.isrc = codes->isrc;
    e->tags.barcode = state.log.details.catalog;
    e->tags.trackTotal = state.discTracks;
    if (state.discId)
        e->tags.discId = hex8(state.discId);
    if (!m_spec.coverImage.empty()) {
        e->tags.cover.assign(m_spec.coverImage.begin(), m_spec.coverImage.end());
        e->tags.coverMime = pictureMimeType(e->tags.cover);
    }
    if (m_spec.replayGain)
        e->meter = std::make_unique<LoudnessMeter>(2, 44100);
    e->cutRead = state.cutRead;
    e->readEnd = state.cutEnd;
    state.cutRead = false;
    // The audio before track 1 is no track of the disc's table: no checksum covers it.
    if (state.wholeTracks && !e->cutRead && track.index != kHiddenTrack) {
        const bool last = track.index == state.discTracks - 1;
        if (m_spec.verify) {
            auto sums = std::make_unique<ChecksumSink>(track.index == 0, last);
            e->checksums = sums.get();
            e->sinks.push_back(std::move(sums));
        }
        const SinkTrack which{item, track.index, state.discTracks};
        for (const SinkFactory& make : m_sinks)
            if (std::unique_ptr<TrackAudioSink> sink = make ? make(which) : nullptr)
                e->sinks.push_back(std::move(sink));
    }
    char name[32];
    std::snprintf(name, sizeof name, "Item %zu.out", item + 1);
    e->staged = (std::filesystem::path(state.temp) / name).string();
    Encoding* raw = e.get();
    raw->thread = std::thread([this, raw] {
        AudioEncoder* enc = raw->encoder.get();
        ItemFailure& f = raw->failure;
        f.worker = WorkerKind::Encoder;
        f.file = raw->wav;
        std::ifstream in(raw->wav, std::ios::binary);
        uint64_t bytes = 0;
        if (!enc) {
            f.what = Failure::EncoderRefused;
        } else if (!in || !wavData(in, bytes)) {
            f.what = Failure::InputUnreadable;
        } else {
            raw->bytesTotal.store(bytes);
            if (raw->meter) {
                // The whole track's loudness goes into its tags, which the encoder writes
                // as it finishes.
                measure(in, bytes, *raw->meter);
                if (raw->meter->valid()) {
                    raw->tags.trackGainDb = raw->meter->gainDb();
                    raw->tags.trackPeak = raw->meter->peak();
                }
            }
            if (!enc->open(raw->staged, PcmFormat{}, raw->tags, bytes / 4, false)) {
                f.what = enc->fault() == EncoderFault::Settings ? Failure::EncoderRefused
                                                                : Failure::OutputNotCreated;
                f.inputAtFault = false;
            } else {
                std::vector<uint8_t> buffer(1 << 16);
                uint64_t left = bytes;
                for (const auto& sink : raw->sinks)
                    sink->begin(bytes / 4);
                // A stop cuts the encoding short unless the tracks read are to be kept.
                const auto stopped = [this] { return cancelled() && !m_spec.finishReadTracks; };
                while (left > 0 && !stopped()) {
                    const size_t want =
                        static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
                    in.read(reinterpret_cast<char*>(buffer.data()),
                            static_cast<std::streamsize>(want));
                    const size_t got = static_cast<size_t>(in.gcount());
                    if (got == 0) {
                        f.what = Failure::InputBroken;
                        break;
                    }
                    for (const auto& sink : raw->sinks)
                        sink->add(buffer.data(), got);
                    if (!enc->write(buffer.data(), got)) {
                        f.what = enc->fault() == EncoderFault::Write ? Failure::WriteFailed
                                                                     : Failure::EncoderRefused;
                        f.inputAtFault = false;
                        break;
                    }
                    left -= got;
                    raw->bytesDone.store(bytes - left);
                }
                for (const auto& sink : raw->sinks)
                    sink->end(f.what == Failure::None && left == 0);
                if (f.what != Failure::None) {
                    f.wroteOutput = raw->bytesDone.load() > 0;
                    f.detail = enc->errorDetail();
                    f.reason = enc->error();
                    enc->abort();
                } else if (!enc->finish()) {
                    f.what = enc->fault() == EncoderFault::Write ? Failure::WriteFailed
                                                                 : Failure::EncoderRefused;
                    f.inputAtFault = false;
                    f.detail = enc->errorDetail();
                    f.reason = enc->error();
                } else {
                    raw->ok = true;
                    raw->cut = left > 0;
                }
            }
        }
        in.close();
        std::remove(raw->wav.c_str());
        raw->done.store(true);
    });
    return e;
}

void CdPipeline::finishEncoding(JobObserver& observer, State& state, Encoding& e) {
    if (e.thread.joinable())
        e.thread.join();
    ItemEnd end;
    end.index = e.item;
    end.input = e.wav;
    end.output = state.plan.tracks[e.item];
    if (!e.ok) {
        end.outcome = ItemOutcome::Failed;
        end.failure = e.failure;
        state.failed = true;
    } else if (e.cutRead) {
        // What was read of a cut track, under its own name; the log says it is incomplete.
        end.outcome = e.readEnd.outcome;
        end.failure = e.readEnd.failure;
        if (files::moveIntoPlace(e.staged, end.output,
                                 state.plan.replaceExisting ? files::Replace::RegularFile
                                                            : files::Replace::Never)) {
            end.keptAs = end.output;
            state.kept[e.item] = end.output;
        }
    } else if (e.cut) {
        // Under its own name it would pass for the whole track.
        end.outcome = ItemOutcome::Stopped;
        end.keptAs = keepAsPartialOf(e.staged, end.output);
        if (!end.keptAs.empty()) {
            state.kept[e.item] = end.keptAs;
            state.end.keptPartials.push_back(end.keptAs);
        }
    } else if (!files::moveIntoPlace(e.staged, end.output,
                                     state.plan.replaceExisting ? files::Replace::RegularFile
                                                                : files::Replace::Never)) {
        // Something took the name since the names were settled, or what is there may not
        // be replaced: this track fails alone.
        end.outcome = ItemOutcome::Failed;
        end.failure.what = errno == EEXIST ? Failure::NameTaken : Failure::WriteFailed;
        end.failure.worker = WorkerKind::Encoder;
        end.failure.inputAtFault = false;
        end.failure.file = end.output;
        end.failure.detail = static_cast<uint32_t>(errno);
    } else {
        end.outcome = ItemOutcome::Converted;
        std::error_code ec;
        const auto size = std::filesystem::file_size(end.output, ec);
        end.outputBytes = ec ? 0 : static_cast<uint64_t>(size);
        ++state.end.converted;
        if (e.meter)
            state.album.add(end.output, std::move(e.meter));
        if (e.checksums && e.checksums->done) {
            for (RipLogFile& f : state.log.files) {
                if (f.path != end.output)
                    continue;
                f.hasChecksums = true;
                f.v1 = e.checksums->sums.v1;
                f.v2 = e.checksums->sums.v2;
                f.crc32 = e.checksums->sums.crc32;
                f.crc32NoSilence = e.checksums->sums.crc32NoSilence;
                f.ctdb = e.checksums->ctdb;
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove(e.staged, ec);
    state.audioDone += e.bytesDone.load();
    state.outputBytes += end.outputBytes;
    state.outcomes[e.item] = end.outcome;
    observer.itemEnded(end);
}

void CdPipeline::finishAll(JobObserver& observer, State& state) {
    while (!state.encoding.empty()) {
        Encoding& e = *state.encoding.front();
        while (!e.done.load()) {
            sendProgress(observer, state, 0);
            observer.wait(500, [&e] { return e.done.load(); });
        }
        finishEncoding(observer, state, e);
        state.encoding.pop_front();
    }
}

void CdPipeline::noteTestAndCopy(RipLogFile& file) {
    GrabStatus* status = m_rip->GetStatus();
    if (!status)
        return;
    GrabCopyResult c{};
    const int32_t n = status->GetTrackCopyCount();
    if (n > 0 && status->GetTrackCopy(n - 1, &c) == 0 && c.trackIndex == file.trackIndex) {
        file.testAndCopy = true;
        file.testCrc = c.testCrc;
        file.copyCrc = c.copyCrc;
        file.copyRereads = c.rereads;
        file.copyOk = c.copyOk != 0;
    }
    status->Destroy();
}

void CdPipeline::prepare() {
    if (m_prepared)
        return;
    m_prepared = true;
    if (!m_rip || m_spec.tracks.empty() || m_spec.introSeconds > 0 || !m_spec.verify ||
        (!m_spec.detectGaps && !m_spec.ripHiddenTrack))
        return;
    // The drive's own offset, so that what lies before track 1 is judged as a track's read.
    if (m_settings)
        applyStoredReadOffset(*m_settings, m_env.drives, m_spec.driveIndex);
    m_details = readDiscDetails(m_rip);
    if (m_spec.ripHiddenTrack && m_details.hidden == accurip::HiddenAudio::Audio) {
        std::vector<CdRipSpec::Track> tracks(1 + m_spec.tracks.size());
        tracks[0].index = kHiddenTrack;
        tracks[0].title = "HTOA";
        std::copy(m_spec.tracks.begin(), m_spec.tracks.end(), tracks.begin() + 1);
        m_spec.tracks = std::move(tracks);
    }
}

void CdPipeline::writeLog(State& state, const JobEnd& end) {
    if (!state.wholeTracks || !m_spec.verify || state.log.files.empty())
        return;
    RipLogRequest request = state.log;
    request.folder = m_spec.folder;
    request.logBase = state.plan.logBase;
    request.replaceExisting = state.plan.replaceExisting;
    request.artist = m_spec.artist;
    request.album = m_spec.album;
    request.driveIndex = m_spec.driveIndex;
    request.errorCorrection = m_spec.errorCorrection;
    bool allWell = end.result == JobResult::Completed;
    for (RipLogFile& f : request.files) {
        const auto item = static_cast<size_t>(
            std::find(state.plan.tracks.begin(), state.plan.tracks.end(), f.path) -
            state.plan.tracks.begin());
        if (item >= state.outcomes.size() || state.outcomes[item] == ItemOutcome::Converted)
            continue;
        allWell = false;
        if (!state.kept[item].empty()) {
            f.path = state.kept[item];
            f.state = RipLogFile::State::Incomplete;
        } else {
            f.state = RipLogFile::State::NotWritten;
        }
    }
    for (size_t i = 0; i < m_spec.tracks.size() && i < state.outcomes.size(); ++i) {
        if (m_spec.tracks[i].index == kHiddenTrack && state.outcomes[i] == ItemOutcome::Converted)
            request.details.hiddenFile = std::filesystem::path(state.plan.tracks[i]).filename();
    }
    if (end.result == JobResult::Aborted)
        request.ending = "aborted by the user";
    else if (!allWell)
        request.ending = "failed";
    VerifyEnv env = m_env;
    if (!env.cancelled)
        env.cancelled = [this] { return cancelled(); };
    m_report.verification = writeRipLogAndCue(env, request);
}

JobEnd CdPipeline::run(JobObserver& observer) {
    State state;
    state.started = std::chrono::steady_clock::now();
    prepare();
    state.log.details = m_details;
    const size_t count = m_spec.tracks.size();
    state.end.count = count;
    if (count == 0) {
        state.end.result = JobResult::NothingToDo;
        observer.finished(state.end);
        return state.end;
    }
    if (!m_rip) {
        m_report.setupFailure = Failure::NoRipper;
        state.end.result = JobResult::Stopped;
        observer.finished(state.end);
        return state.end;
    }
    if (!m_env.wait)
        m_env.wait = [&observer](int ms, const std::function<bool()>& ready) {
            observer.wait(ms, ready);
        };
    if (!m_factory) {
        const std::string name = m_spec.encoder;
        const EncoderOptions options = m_spec.options;
        m_factory = [name, options] { return EncoderRegistry::instance().make(name, options); };
    }
    if (!m_factory()) {
        m_report.setupFailure = Failure::EncoderRefused;
        state.end.result = JobResult::Stopped;
        observer.finished(state.end);
        return state.end;
    }
    if (!settleNames(observer, state)) {
        state.end.result = JobResult::Cancelled;
        observer.finished(state.end);
        return state.end;
    }
    if (state.plan.tracks.size() != count) {
        m_report.setupFailure = Failure::OutputNotCreated;
        m_report.detail = EINVAL;
        state.end.result = JobResult::Stopped;
        observer.finished(state.end);
        return state.end;
    }
    state.temp = files::createTemporaryFolder(m_spec.folder);
    std::error_code made;
    if (!state.temp.empty() && !m_spec.readFolder.empty()) {
        state.readsOwn = files::createTemporaryFolder(m_spec.readFolder);
        state.reads = state.readsOwn;
        if (state.readsOwn.empty())
            made = std::error_code(errno ? errno : EACCES, std::generic_category());
    } else if (!state.temp.empty()) {
        state.reads = (std::filesystem::path(state.temp) / "read").string();
        if (!std::filesystem::create_directory(state.reads, made) && !made)
            made = std::make_error_code(std::errc::file_exists);
    }
    if (state.temp.empty() || made) {
        m_report.detail = made ? made.value() : errno;
        if (!state.temp.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(state.temp, ec);
        }
        m_report.setupFailure = Failure::OutputNotCreated;
        state.end.result = JobResult::Stopped;
        observer.finished(state.end);
        return state.end;
    }
    state.outcomes.assign(count, ItemOutcome::NotStarted);
    state.kept.assign(count, std::string());
    state.wholeTracks = m_spec.introSeconds <= 0;
    if (DiscInfo* disc = m_rip->GetDiscInfo()) {
        state.discTracks = disc->GetTrackCount();
        state.discId = disc->GetDiscId();
        disc->Destroy();
    }
    const size_t width =
        std::clamp<size_t>(static_cast<size_t>(std::max(1, m_spec.width)), 1, count);

    bool stop = false;
    for (size_t i = 0; i < count && !stop; ++i) {
        if (cancelled())
            break;
        state.reading = i;
        ItemStart start;
        start.index = i;
        start.count = count;
        start.output = state.plan.tracks[i];
        observer.itemStarted(start);
        std::string wav;
        ItemEnd failed;
        failed.index = i;
        failed.output = state.plan.tracks[i];
        failed.outcome = ItemOutcome::Failed;
        if (!readTrack(observer, state, i, wav, failed)) {
            std::error_code ec;
            std::filesystem::remove(wav, ec);
            failed.input = wav;
            // The tracks before this one are good: they end first, in disc order.
            finishAll(observer, state);
            state.outcomes[i] = failed.outcome;
            observer.itemEnded(failed);
            stop = true;
            break;
        }
        // A place among the encoders: the first of them to be done frees one, whichever
        // track it had (a long track must not keep a core idle behind it); the tracks end
        // in disc order all the same.
        const auto busy = [&state] {
            return static_cast<size_t>(
                std::count_if(state.encoding.begin(), state.encoding.end(),
                              [](const auto& e) { return !e->done.load(); }));
        };
        while (busy() >= width && !state.failed) {
            sendProgress(observer, state, 100);
            observer.wait(300, [&] { return busy() < width; });
            while (!state.encoding.empty() && state.encoding.front()->done.load()) {
                finishEncoding(observer, state, *state.encoding.front());
                state.encoding.pop_front();
            }
        }
        if (state.failed) {
            std::error_code ec;
            std::filesystem::remove(wav, ec);
            stop = true;
            break;
        }
        // A cut read is the last track the job reads.
        const bool readFailed = state.cutRead && state.cutEnd.outcome == ItemOutcome::Failed;
        state.encoding.push_back(startEncoding(state, i, wav));
        // An encoder that failed stops the reading; the tracks before it are finished.
        while (!state.encoding.empty() && state.encoding.front()->done.load()) {
            finishEncoding(observer, state, *state.encoding.front());
            state.encoding.pop_front();
        }
        stop = state.failed || readFailed;
    }
    state.reading = count;
    finishAll(observer, state);
    if (cancelled())
        state.end.result = JobResult::Aborted;
    else if (stop)
        state.end.result = JobResult::Stopped;
    else
        state.end.result = JobResult::Completed;
    for (size_t i = 0; i < count; ++i) {
        if (state.outcomes[i] == ItemOutcome::NotStarted ||
            (state.outcomes[i] != ItemOutcome::Converted &&
             state.end.result != JobResult::Completed))
            state.end.notConverted.push_back(state.plan.tracks[i]);
    }
    // The disc's tracks are one album for the loudness, once all are encoded.
    if (state.end.result == JobResult::Completed && m_spec.replayGain)
        m_report.albumGainFailed = state.album.write();
    writeLog(state, state.end);
    // The release's cover goes beside the files once; a rip without it is still whole.
    if (state.wholeTracks && !m_spec.coverImage.empty() && state.end.converted > 0)
        m_report.coverKept = keepFolderCover(m_spec.folder, m_spec.coverImage, m_report.coverWhy);
    // The folder was made by this job, readable by nobody else: everything in it is the
    // job's own.
    std::error_code ec;
    std::filesystem::remove_all(state.temp, ec);
    if (!state.readsOwn.empty())
        std::filesystem::remove_all(state.readsOwn, ec);
    m_report.results = state.log.results;
    observer.finished(state.end);
    return state.end;
}

} // namespace cld::engine
