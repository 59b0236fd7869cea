#include "Verify.h"

#include "AccurateRip.h"
#include "ArLookup.h"
#include "CddbCancel.h"
#include "CddbSettings.h"
#include "CtdbLookup.h"
#include "DiscDetails.h"
#include "ProductIdentity.h"
#include "RipLog.h"
#include "SafeFiles.h"
#include "SettingsRecord.h"
#include "TrackAudio.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <thread>

namespace cld::engine {

namespace {

std::string driveName(CDRipDriveSettings* drives, int index) {
    if (!drives)
        return {};
    NameText* name = nullptr;
    std::string out;
    if (drives->GetDriveName(&name, index) == 0 && name) {
        out = name->text();
        name->Destroy();
    }
    return out;
}

// The drive as its maker names it: the number the drive list adds to tell two drives of
// one model apart (" (1)") is the list's, not the drive's.
std::string driveModel(std::string name) {
    const std::size_t open = name.rfind(" (");
    if (open != std::string::npos && name.size() > open + 3 && name.back() == ')' &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(open) + 2, name.end() - 1,
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        name.resize(open);
    return name;
}

accurip::ReadResult readResultOf(int32_t code) {
    switch (code) {
    case GrabStatus::TrackExact:
        return accurip::ReadResult::Exact;
    case GrabStatus::TrackCorrected:
        return accurip::ReadResult::Corrected;
    case GrabStatus::TrackNotVerified:
        return accurip::ReadResult::NotVerified;
    case GrabStatus::TrackFailed:
        return accurip::ReadResult::Failed;
    case GrabStatus::TrackUnchecked:
        return accurip::ReadResult::Unchecked;
    default:
        return accurip::ReadResult::Unknown;
    }
}

void waitFor(const VerifyEnv& env, int milliseconds, const std::function<bool()>& ready) {
    if (env.wait) {
        env.wait(milliseconds, ready);
        return;
    }
    constexpr int kStep = 10;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!ready() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
}

bool cancelledBy(const VerifyEnv& env) {
    return env.cancelled && env.cancelled();
}

// Looks the disc up on a thread of its own while the caller's waits go on; a cancel
// through env ends the look-up's socket waits at once.
accurip::LookupAnswer lookUpWaiting(const VerifyEnv& env, const accurip::DiscIds& ids) {
    CddbCancel cancel;
    const std::string server = env.server;
    const int deadlineMs = env.deadlineMs;
    auto future = std::async(std::launch::async, [ids, server, deadlineMs, &cancel] {
        return accurip::lookUp(server, ids, deadlineMs, &cancel);
    });
    auto ready = [&future] {
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    while (!ready()) {
        if (cancelledBy(env))
            cancel.cancel();
        waitFor(env, 40, [&] { return ready() || (cancelledBy(env) && !cancel.isCancelled()); });
    }
    return future.get();
}

// The same for the CUETools database.
accurip::CtdbLookupAnswer ctdbLookUpWaiting(const VerifyEnv& env, const accurip::DiscLayout& disc) {
    CddbCancel cancel;
    accurip::CtdbLookupOptions options;
    options.deadlineMs = env.deadlineMs;
    options.cancel = &cancel;
    options.proxyHost = env.proxyHost;
    options.proxyPort = env.proxyPort;
    const std::string server = env.ctdbServer;
    auto future = std::async(std::launch::async, [disc, server, options] {
        return accurip::ctdbLookUp(server, disc, options);
    });
    auto ready = [&future] {
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    while (!ready()) {
        if (cancelledBy(env))
            cancel.cancel();
        waitFor(env, 40, [&] { return ready() || (cancelledBy(env) && !cancel.isCancelled()); });
    }
    return future.get();
}

accurip::DiscLayout layoutOf(CDRipObject* rip) {
    accurip::DiscLayout layout;
    DiscInfo* disc = rip ? rip->GetDiscInfo() : nullptr;
    if (!disc)
        return layout;
    for (int i = 0; i < disc->GetTrackCount(); ++i) {
        if (TrackInfo* t = disc->GetTrack(i)) {
            layout.tracks.push_back({i + 1, t->GetFirstSector(), true});
            layout.leadOut = static_cast<int64_t>(t->GetLastSector()) + 1;
            t->Destroy();
        }
    }
    layout.knownFreedbId = disc->GetDiscId();
    disc->Destroy();
    return layout;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return date;
}

} // namespace

VerifyEnv verifyEnv(SettingsRecord& settings, CDRipObject* rip, CDRipDriveSettings* drives) {
    VerifyEnv env;
    env.rip = rip;
    env.drives = drives;
    env.lookup = settings.accurateRipLookup();
    env.server = settings.accurateRipServer();
    env.deadlineMs = std::clamp(settings.freeDBDeadline(), 5, 60) * 1000;
    env.ctdbLookup = env.lookup;
    env.ctdbServer = settings.ctdbServer();
    const CddbProxy proxy = cddbProxyFromSettings(settings);
    env.proxyHost = proxy.host;
    env.proxyPort = proxy.port;
    return env;
}

std::string errorCorrectionName(int type) {
    switch (type) {
    case 0:
        return "No Error Correction (faster)";
    case 1:
        return "Jitter Correction (default)";
    default:
        break;
    }
    return "Jitter and Scratch Repair (slower)";
}

StoredOffset applyStoredReadOffset(SettingsRecord& settings, CDRipDriveSettings* drives,
                                   int driveIndex) {
    StoredOffset out;
    if (!drives)
        return out;
    // The ripper keeps an offset for every drive and sets that of the active one: the drive
    // the rip reads takes its own offset, whichever drive was active before.
    drives->SetActiveDrive(driveIndex);
    out.offset = settings.readOffsetFor(driveName(drives, driveIndex));
    const bool inRange = SettingsRecord::readOffsetInRange(out.offset);
    out.refused = drives->SetReadOffset(inRange ? out.offset : 0) != 0 || !inRange;
    return out;
}

VerifyResult writeRipLogAndCue(const VerifyEnv& env, const RipLogRequest& request) {
    VerifyResult result;
    result.attempted = true;
    accurip::RipLogInfo info;
    info.program = std::string(identity::kProduct) + " " + identity::kDisplayVersion;
    info.date = utcNow();
    info.drive = driveModel(driveName(env.drives, request.driveIndex));
    info.readOffset = env.drives ? env.drives->GetReadOffset() : 0;
    info.errorCorrection = !request.errorCorrection.empty() ? request.errorCorrection
                           : env.drives ? errorCorrectionName(env.drives->GetErrorCorrection())
                                        : std::string();
    info.artist = request.artist;
    info.album = request.album;
    info.ending = request.ending;
    info.details = request.details;
    info.driveFeatures = driveFeatures(env.drives, request.details);

    // The disc as the ripper sees it: its audio tracks and the FreeDB id of the whole disc.
    info.disc = layoutOf(env.rip);
    std::string why;
    const bool discKnown = info.disc.valid(why);

    bool allSums = discKnown;
    const int lastIndex = static_cast<int>(info.disc.tracks.size()) - 1;
    // By the disc's track index: the files may come in any order.
    std::vector<std::optional<accurip::CtdbTrackSums>> ctdbSums(info.disc.tracks.size());
    for (const RipLogFile& f : request.files) {
        accurip::LogTrack t;
        t.number = f.trackIndex + 1;
        t.file = std::filesystem::path(f.path).filename().string();
        t.state = f.state == RipLogFile::State::Complete     ? accurip::FileState::Complete
                  : f.state == RipLogFile::State::Incomplete ? accurip::FileState::Incomplete
                                                             : accurip::FileState::NotWritten;
        t.title = f.title;
        t.performer = f.performer;
        t.peak = f.peak;
        t.testAndCopy = f.testAndCopy;
        t.testCrc = f.testCrc;
        t.copyCrc = f.copyCrc;
        t.copyRereads = f.copyRereads;
        t.copyOk = f.copyOk;
        // With a read offset the first track begins, or the last one ends, with samples
        // beyond the disc's edge: the ripper gives them as silence.
        if (discKnown && info.readOffset < 0 && f.trackIndex == 0)
            t.edgeSilentSamples = std::max<long>(
                0, -info.readOffset - static_cast<long>(info.disc.tracks.front().start * 588));
        else if (discKnown && info.readOffset > 0 && f.trackIndex == lastIndex &&
                 info.disc.audioEnd() == info.disc.leadOut)
            t.edgeSilentSamples = info.readOffset;
        const auto r =
            std::find_if(request.results.begin(), request.results.end(),
                         [&](const GrabTrackResult& g) { return g.trackIndex == f.trackIndex; });
        if (r != request.results.end()) {
            t.result = readResultOf(r->result);
            t.correctedSectors = r->correctedSectors;
            t.unverifiedSectors = r->unverifiedSectors;
            t.unreadSectors = r->unreadSectors;
        }
        std::string sumWhy;
        if (f.hasChecksums) {
            t.hasChecksums = true;
            t.sums.v1 = f.v1;
            t.sums.v2 = f.v2;
            t.sums.crc32 = f.crc32;
            t.sums.crc32NoSilence = f.crc32NoSilence;
        } else if (f.state == RipLogFile::State::Complete) {
            t.hasChecksums =
                discKnown && accurip::checksumTrackFile(f.path, f.trackIndex == 0,
                                                        f.trackIndex == lastIndex, t.sums, sumWhy);
        }
        allSums = allSums && t.hasChecksums;
        // The CTDB sums, taken with the rip or now from a lossless file.
        if (discKnown && f.trackIndex >= 0 && f.trackIndex <= lastIndex) {
            const auto i = static_cast<size_t>(f.trackIndex);
            TrackSums sums;
            if (f.ctdb)
                ctdbSums[i] = *f.ctdb;
            else if (f.state == RipLogFile::State::Complete && isLosslessAudioFile(f.path) &&
                     trackSumsOfFile(f.path,
                                     (info.disc.trackEnd(i) - info.disc.tracks[i].start) * 588,
                                     f.trackIndex == 0, f.trackIndex == lastIndex, sums, sumWhy))
                ctdbSums[i] = std::move(sums.ctdb);
        }
        info.tracks.push_back(t);
    }

    // The look-up, when every track of the disc was ripped into a WAV or FLAC file.
    if (discKnown && allSums && env.lookup && info.tracks.size() == info.disc.tracks.size()) {
        const accurip::DiscIds ids = accurip::discIds(info.disc);
        const accurip::LookupAnswer a = lookUpWaiting(env, ids);
        info.lookupDetail = a.detail;
        switch (a.status) {
        case accurip::LookupAnswer::Found: {
            std::vector<accurip::TrackChecksums> sums;
            for (const accurip::LogTrack& t : info.tracks)
                sums.push_back(t.sums);
            bool other = false;
            const auto verdicts = accurip::verify(ids, sums, a.responses, other);
            if (other) {
                info.lookup = accurip::LookupState::OtherDisc;
            } else {
                info.lookup = accurip::LookupState::Checked;
                for (size_t i = 0; i < verdicts.size() && i < info.tracks.size(); ++i) {
                    info.tracks[i].hasVerdict = true;
                    info.tracks[i].verdict = verdicts[i];
                }
            }
            break;
        }
        case accurip::LookupAnswer::NotInDatabase:
            info.lookup = accurip::LookupState::NotInDatabase;
            break;
        case accurip::LookupAnswer::Offline:
            info.lookup = accurip::LookupState::Offline;
            break;
        case accurip::LookupAnswer::Cancelled:
            result.lookupCancelled = true;
            info.lookup = accurip::LookupState::Failed;
            break;
        case accurip::LookupAnswer::TimedOut:
        case accurip::LookupAnswer::Malformed:
            info.lookup = accurip::LookupState::Failed;
            break;
        }
    }

    // CTDB, when every track of the disc was ripped and its sums taken.
    const bool allCtdb =
        std::all_of(ctdbSums.begin(), ctdbSums.end(), [](const auto& c) { return c.has_value(); });
    if (discKnown && allCtdb && env.lookup && env.ctdbLookup && !result.lookupCancelled) {
        const accurip::CtdbLookupAnswer a = ctdbLookUpWaiting(env, info.disc);
        info.ctdb.detail = a.detail;
        switch (a.status) {
        case accurip::CtdbLookupAnswer::Found: {
            std::vector<accurip::CtdbTrackSums> tracks;
            for (auto& c : ctdbSums)
                tracks.push_back(std::move(*c));
            info.ctdb.state = accurip::CtdbLogResult::State::Checked;
            info.ctdb.verdict =
                accurip::ctdbVerify(accurip::CtdbDisc(std::move(tracks)), a.entries);
            info.ctdb.detail.clear();
            break;
        }
        case accurip::CtdbLookupAnswer::NotInDatabase:
            info.ctdb.state = accurip::CtdbLogResult::State::NotInDatabase;
            break;
        case accurip::CtdbLookupAnswer::Offline:
            info.ctdb.state = accurip::CtdbLogResult::State::Offline;
            break;
        case accurip::CtdbLookupAnswer::Cancelled:
            result.lookupCancelled = true;
            info.ctdb.state = accurip::CtdbLogResult::State::Failed;
            break;
        case accurip::CtdbLookupAnswer::TimedOut:
        case accurip::CtdbLookupAnswer::Malformed:
            info.ctdb.state = accurip::CtdbLogResult::State::Failed;
            break;
        }
    }

    result.summary = accurip::summarize(info);
    result.lookupDetail = info.lookupDetail;
    result.ctdb = info.ctdb;
    result.verifiedBy = accurip::verifiedBy(result.summary, info.ctdb);
    const std::string base = !request.logBase.empty()
                                 ? request.logBase
                                 : (std::filesystem::path(request.folder) /
                                    accurip::ripLogBaseName(info.artist, info.album))
                                       .string();
    std::string logPath;
    if (accurip::writeRipLog(base, request.replaceExisting, info, logPath, result.logError))
        result.logPath = logPath;
    result.tracks = std::move(info.tracks);
    return result;
}

namespace {

// Grabs the jobs queued on the ripper and waits for the end (at most two minutes, or
// until the caller cancels).
void grabAndWait(const VerifyEnv& env, CDRipObject* rip) {
    auto running = [rip] {
        GrabStatus* s = rip->GetStatus();
        const bool r = s && s->IsRunning();
        if (s)
            s->Destroy();
        return r;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (running()) {
        if (std::chrono::steady_clock::now() > until || cancelledBy(env)) {
            rip->AbortGrab();
            // The worker closes its file after the chunk in progress.
            for (int i = 0; i < 1000 && running(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            break;
        }
        waitFor(env, 50, [&] { return !running() || cancelledBy(env); });
    }
}

// The audio of a WAV file the ripper wrote (its data chunk); empty when there is none.
std::vector<uint8_t> wavAudio(const std::string& file) {
    std::vector<uint8_t> audio;
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size <= 0 || size >= (1LL << 30))
        return {};
    audio.resize(static_cast<size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(audio.data()), size);
    audio.resize(static_cast<size_t>(in.gcount()));
    for (size_t i = 12; i + 8 <= audio.size(); ++i)
        if (std::memcmp(audio.data() + i, "data", 4) == 0)
            return std::vector<uint8_t>(audio.begin() + static_cast<std::ptrdiff_t>(i + 8),
                                        audio.end());
    return {};
}

OffsetDetection detectByCtdb(const VerifyEnv& env, int driveIndex, const std::string& tempFolder,
                             const accurip::DiscLayout& layout) {
    OffsetDetection d;
    CDRipObject* rip = env.rip;
    CDRipDriveSettings* drives = env.drives;
    const accurip::CtdbLookupAnswer a = ctdbLookUpWaiting(env, layout);
    if (a.status == accurip::CtdbLookupAnswer::NotInDatabase) {
        d.failure = OffsetFailure::NotInDatabase;
        return d;
    }
    if (a.status != accurip::CtdbLookupAnswer::Found) {
        d.failure = a.status == accurip::CtdbLookupAnswer::Cancelled
                        ? OffsetFailure::Cancelled
                        : OffsetFailure::DatabaseFailed;
        d.detail = a.detail;
        return d;
    }
    // The shortest track but the last (whose end the whole disc's length places), long
    // enough for its edges to be shifted.
    const size_t n = layout.tracks.size();
    size_t track = n;
    for (size_t i = 0; i + 1 < n; ++i) {
        const int64_t sectors = layout.trackEnd(i) - layout.tracks[i].start;
        if (sectors >= 40 &&
            (track == n || sectors < layout.trackEnd(track) - layout.tracks[track].start))
            track = i;
    }
    if (track == n) {
        d.failure = OffsetFailure::TracksTooShort;
        return d;
    }
    const std::string ownFolder = files::createTemporaryFolder(tempFolder);
    if (ownFolder.empty()) {
        d.failure = OffsetFailure::NoTemporary;
        return d;
    }
    drives->SetActiveDrive(driveIndex);
    const int previous = drives->GetReadOffset();
    drives->SetReadOffset(0);
    // The last second of the track before, the track, the first second of the track after.
    struct Job {
        int32_t index;
        const char* name;
        int32_t from;
        int32_t to;
    };
    std::vector<Job> jobs;
    if (track > 0) {
        const int64_t seconds = (layout.trackEnd(track - 1) - layout.tracks[track - 1].start) / 75;
        jobs.push_back({static_cast<int32_t>(track - 1), "before.wav",
                        static_cast<int32_t>(std::max<int64_t>(0, seconds - 1)), -1});
    }
    jobs.push_back({static_cast<int32_t>(track), "track.wav", 0, -1});
    jobs.push_back({static_cast<int32_t>(track + 1), "after.wav", 0, 1});
    NameText* folderText = NameText::Create(ownFolder.c_str());
    bool started = rip->SetOutputFolder(folderText) == 0;
    for (const Job& j : jobs) {
        NameText* nameText = NameText::Create(j.name);
        started = started && rip->AddTrack(j.index, nameText, j.from, j.to) == 0;
        NameText::Release(nameText);
    }
    started = started && rip->StartGrab() == 1;
    NameText::Release(folderText);
    if (started)
        grabAndWait(env, rip);
    drives->SetReadOffset(previous);
    std::vector<accurip::CtdbTrackSums> pieces;
    for (const Job& j : jobs) {
        const std::vector<uint8_t> audio = wavAudio(ownFolder + "/" + j.name);
        accurip::CtdbTrackChecksummer c(static_cast<int64_t>(audio.size() / 4));
        c.add(audio.data(), audio.size());
        pieces.push_back(c.result());
    }
    std::error_code removeError;
    std::filesystem::remove_all(ownFolder, removeError);
    if (cancelledBy(env)) {
        d.failure = OffsetFailure::Cancelled;
        return d;
    }
    const size_t inDisc = track > 0 ? 1 : 0;
    const int64_t expected = (layout.trackEnd(track) - layout.tracks[track].start) * 588;
    if (!started || pieces[inDisc].samples != expected || pieces.back().samples == 0) {
        d.failure = OffsetFailure::ReadFailed;
        return d;
    }
    std::map<uint32_t, int> wanted; // the track's CRC -> submissions
    for (const accurip::CtdbEntry& e : a.entries)
        if (e.trackCrcs.size() == n && e.trackCrcs[track] != 0 && e.confidence > 0)
            wanted[e.trackCrcs[track]] += e.confidence;
    const accurip::CtdbDisc disc(std::move(pieces));
    for (int shift = -SettingsRecord::kMaxReadOffset; shift <= SettingsRecord::kMaxReadOffset;
         ++shift) {
        uint32_t crc = 0;
        if (!disc.trackCrc(inDisc, shift, crc))
            continue;
        const auto it = wanted.find(crc);
        if (it != wanted.end() && it->second > d.confidence) {
            d.found = true;
            d.offset = shift;
            d.confidence = it->second;
        }
    }
    d.byCtdb = d.found;
    d.failure = d.found ? OffsetFailure::None : OffsetFailure::NoMatch;
    return d;
}

OffsetDetection detectByAccurateRip(const VerifyEnv& env, int driveIndex,
                                    const std::string& tempFolder);

} // namespace

OffsetDetection detectReadOffset(const VerifyEnv& env, int driveIndex,
                                 const std::string& tempFolder) {
    const OffsetDetection ar = detectByAccurateRip(env, driveIndex, tempFolder);
    if (ar.found || !env.ctdbLookup ||
        (ar.failure != OffsetFailure::NotInDatabase && ar.failure != OffsetFailure::NoMatch))
        return ar;
    env.drives->SetActiveDrive(driveIndex);
    const accurip::DiscLayout layout = layoutOf(env.rip);
    OffsetDetection ctdb = detectByCtdb(env, driveIndex, tempFolder, layout);
    // Without a CTDB match, AccurateRip's reason stands.
    return ctdb.found || ctdb.failure == OffsetFailure::Cancelled ? ctdb : ar;
}

namespace {

OffsetDetection detectByAccurateRip(const VerifyEnv& env, int driveIndex,
                                    const std::string& tempFolder) {
    OffsetDetection d;
    CDRipObject* rip = env.rip;
    CDRipDriveSettings* drives = env.drives;
    if (!rip || !drives) {
        d.failure = OffsetFailure::NoDrive;
        return d;
    }
    drives->SetActiveDrive(driveIndex);
    const accurip::DiscLayout layout = layoutOf(rip);
    std::string why;
    if (!layout.valid(why)) {
        d.failure = OffsetFailure::NoDisc;
        return d;
    }
    const accurip::DiscIds ids = accurip::discIds(layout);
    const accurip::LookupAnswer a = lookUpWaiting(env, ids);
    if (a.status == accurip::LookupAnswer::NotInDatabase) {
        d.failure = OffsetFailure::NotInDatabase;
        return d;
    }
    if (a.status != accurip::LookupAnswer::Found) {
        d.failure = a.status == accurip::LookupAnswer::Cancelled ? OffsetFailure::Cancelled
                                                                 : OffsetFailure::DatabaseFailed;
        d.detail = a.detail;
        return d;
    }
    // A track long enough to hold sector 450 and the samples around it.
    size_t track = layout.tracks.size();
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        if (layout.trackEnd(i) - layout.tracks[i].start >= accurip::kOffsetFrame + 20) {
            track = i;
            break;
        }
    }
    if (track == layout.tracks.size()) {
        d.failure = OffsetFailure::TracksTooShort;
        return d;
    }
    // Twelve seconds (900 sectors) read exactly as the drive delivers them, into a folder
    // of its own inside tempFolder, removed afterwards with what is in it: nothing of
    // anybody else's there is touched, and programs detecting at once each have their own.
    const std::string ownFolder = files::createTemporaryFolder(tempFolder);
    if (ownFolder.empty()) {
        d.failure = OffsetFailure::NoTemporary;
        return d;
    }
    // The drive may have lost its active state to another while the database answered.
    drives->SetActiveDrive(driveIndex);
    const int previous = drives->GetReadOffset();
    drives->SetReadOffset(0);
    const std::string file = ownFolder + "/offset-detection.wav";
    NameText* folderText = NameText::Create(ownFolder.c_str());
    NameText* nameText = NameText::Create("offset-detection.wav");
    const bool started = rip->SetOutputFolder(folderText) == 0 &&
                         rip->AddTrack(static_cast<int32_t>(track), nameText, 0, 12) == 0 &&
                         rip->StartGrab() == 1;
    NameText::Release(folderText);
    NameText::Release(nameText);
    if (started)
        grabAndWait(env, rip);
    drives->SetReadOffset(previous);
    std::vector<uint8_t> audio;
    {
        std::ifstream in(file, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
        if (size > 0 && size < (64 << 20)) {
            audio.resize(static_cast<size_t>(size));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(audio.data()), size);
            audio.resize(static_cast<size_t>(in.gcount()));
        }
    }
    std::error_code removeError;
    std::filesystem::remove_all(ownFolder, removeError);
    size_t dataAt = 0;
    for (size_t i = 12; i + 8 <= audio.size(); ++i) {
        if (std::memcmp(audio.data() + i, "data", 4) == 0) {
            dataAt = i + 8;
            break;
        }
    }
    if (cancelledBy(env)) {
        d.failure = OffsetFailure::Cancelled;
        return d;
    }
    if (!started || dataAt == 0) {
        d.failure = OffsetFailure::ReadFailed;
        return d;
    }
    const auto found = accurip::findOffsets(
        audio.data() + dataAt, (audio.size() - dataAt) / 4, layout.tracks[track].start * 588,
        layout.tracks[track].start, track, a.responses, SettingsRecord::kMaxReadOffset);
    if (found.empty()) {
        d.failure = OffsetFailure::NoMatch;
        return d;
    }
    d.found = true;
    d.offset = found.front().offset;
    d.confidence = found.front().confidence;
    return d;
}

} // namespace

} // namespace cld::engine
