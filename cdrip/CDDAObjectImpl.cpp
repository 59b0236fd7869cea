#include "CDDAObjectImpl.h"

#include "RipperEngine.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace cld {
namespace {

// Selector for the next Init: 0 = plug-in first, 1 = pass-through.
std::atomic<int32_t> g_transportSelector{0};

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = 1;

RipperEngine* engine() {
    return RipperEngine::current();
}

// Runs a slot body that may allocate; nothing may leave the library as an exception.
template <typename Body> int32_t guarded(int32_t fallback, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

int32_t okIfCompleted(uint8_t status) {
    return status == aspi::kCompleted ? kOk : kFailed;
}

} // namespace

int32_t CDDAObjectImpl::GetVersion() {
    return kVersion;
}

int32_t CDDAObjectImpl::GetPeakValue() {
    return engine() ? engine()->peakValue() : 0;
}

void CDDAObjectImpl::SetActiveDrive(int32_t index) {
    if (engine())
        engine()->setActiveDrive(index);
}

int32_t CDDAObjectImpl::GetActiveDrive() {
    return engine() ? engine()->activeDrive() : 1;
}

int32_t CDDAObjectImpl::SetDriveType(int32_t type) {
    return engine() ? engine()->setDriveType(type) : kFailed;
}

int32_t CDDAObjectImpl::GetDriveType() {
    return engine() ? engine()->params().driveTable.driveType : 0;
}

int32_t CDDAObjectImpl::GetReadVerdict(int32_t* corrected, int32_t* unverified, int32_t* unread) {
    const ReadVerdict v = engine() ? engine()->readVerdict() : ReadVerdict{};
    if (corrected)
        *corrected = v.corrected;
    if (unverified)
        *unverified = v.unverified;
    if (unread)
        *unread = v.unread;
    return engine() ? kOk : kFailed;
}

int32_t CDDAObjectImpl::SetReadOffset(int32_t samples) {
    RipperEngine* e = engine();
    return e && e->setReadOffsetOn(e->activeDrive(), samples) ? kOk : kFailed;
}

int32_t CDDAObjectImpl::GetReadOffset() {
    RipperEngine* e = engine();
    return e ? e->readOffsetAt(e->activeDrive()) : 0;
}

int32_t CDDAObjectImpl::ReadSubChannelQ(int32_t lba, uint8_t* q) {
    RipperEngine* e = engine();
    if (!e || !q)
        return kFailed;
    return guarded(kFailed, [&] { return e->readQOn(e->activeDrive(), lba, q) ? kOk : kFailed; });
}

int32_t CDDAObjectImpl::ReadCatalogNumber(char* mcn) {
    if (!mcn)
        return kFailed;
    mcn[0] = '\0';
    RipperEngine* e = engine();
    if (!e)
        return kFailed;
    return guarded(kFailed, [&] {
        std::string text;
        if (!e->readCatalogOn(e->activeDrive(), text))
            return kFailed;
        std::memcpy(mcn, text.c_str(), 14);
        return kOk;
    });
}

int32_t CDDAObjectImpl::ReadTrackIsrc(int32_t trackNumber, char* isrc) {
    if (!isrc)
        return kFailed;
    isrc[0] = '\0';
    RipperEngine* e = engine();
    if (!e)
        return kFailed;
    return guarded(kFailed, [&] {
        std::string text;
        if (!e->readIsrcOn(e->activeDrive(), trackNumber, text))
            return kFailed;
        std::memcpy(isrc, text.c_str(), 13);
        return kOk;
    });
}

int32_t CDDAObjectImpl::GetDriveParams(DriveParams* params) {
    if (!params)
        return kFailed;
    if (!engine()) {
        std::memset(static_cast<void*>(params), 0, sizeof(DriveParams));
        return kFailed;
    }
    engine()->getDriveParams(*params);
    return kOk;
}

int32_t CDDAObjectImpl::SetDriveParams(const DriveParams* params) {
    if (!engine() || !params)
        return kFailed;
    engine()->setDriveParams(*params);
    return kOk;
}

int32_t CDDAObjectImpl::OpenRipper(int32_t* bufferSize, int32_t first, int32_t last) {
    if (bufferSize)
        *bufferSize = 0;
    return engine()
               ? guarded(kFailed, [&] { return engine()->openRipper(bufferSize, first, last); })
               : kFailed;
}

int32_t CDDAObjectImpl::CloseRipper() {
    return engine() ? guarded(kFailed, [&] { return engine()->closeRipper(); }) : kFailed;
}

int32_t CDDAObjectImpl::GetPercentCompleted() {
    return engine() ? engine()->percentCompleted() : 0;
}

int32_t CDDAObjectImpl::GetJitterErrorCount() {
    return engine() ? engine()->jitterErrorCount() : 0;
}

int32_t CDDAObjectImpl::Init() {
    return guarded(kFailed, [] {
        // The previous engine is retired first so that the new one scans afresh.
        RipperEngine::install(nullptr);
        auto fresh = std::make_unique<RipperEngine>(g_transportSelector.load());
        if (fresh->initTransport() != 0)
            return kFailed;
        if (fresh->scanDrives() <= 0)
            return kFailed;
        fresh->setActiveDrive(0);
        RipperEngine::install(std::move(fresh));
        return kOk;
    });
}

int32_t CDDAObjectImpl::GetDriveCount() {
    return engine() ? engine()->driveCount() : 0;
}

int32_t CDDAObjectImpl::RipChunk(uint8_t* buffer, int32_t* byteCount,
                                 const std::atomic<int32_t>* abortFlag) {
    if (byteCount)
        *byteCount = 0;
    return engine()
               ? guarded(kFailed, [&] { return engine()->ripChunk(buffer, byteCount, abortFlag); })
               : kFailed;
}

void CDDAObjectImpl::ScaleChunk(int16_t* samples, int32_t count, double factor) {
    if (!samples || count <= 0)
        return;
    for (int32_t i = 0; i < count; ++i) {
        const double scaled = std::trunc(samples[i] * factor);
        // Values beyond the sample range saturate instead of wrapping around.
        samples[i] = static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, scaled)));
    }
}

int32_t CDDAObjectImpl::GetJitterPosition() {
    return engine() ? engine()->jitterPosition() : 50;
}

void CDDAObjectImpl::GetJitterErrorPosition(int32_t* sector, int32_t* current) {
    if (engine()) {
        engine()->jitterErrorPosition(sector, current);
        return;
    }
    if (sector)
        *sector = 0;
    if (current)
        *current = 0;
}

int32_t CDDAObjectImpl::LockDoor(int32_t lock) {
    return engine() ? okIfCompleted(engine()->lockDoor(lock != 0)) : kFailed;
}

int32_t CDDAObjectImpl::GetSubChannelPosition(int32_t* index, int32_t* track, int32_t* absolute) {
    if (!engine()) {
        for (int32_t* out : {index, track, absolute})
            if (out)
                *out = 0;
        return kFailed;
    }
    return engine()->subChannelPosition(index, track, absolute, nullptr) ? kOk : kFailed;
}

int32_t CDDAObjectImpl::ScanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                                        int32_t capacity, const std::atomic<int32_t>* stopFlag) {
    if (found)
        *found = 0;
    return engine() ? guarded(kFailed,
                              [&] {
                                  return engine()->scanForC2Errors(first, end, found, list,
                                                                   capacity, stopFlag);
                              })
                    : kFailed;
}

int32_t CDDAObjectImpl::GetTocEntryCount() {
    return engine() ? engine()->tocEntryCount() : 0;
}

int32_t CDDAObjectImpl::ReadToc() {
    return engine() ? guarded(0, [&] { return engine()->readToc(); }) : kFailed;
}

int32_t CDDAObjectImpl::GetTocEntry(TocEntry* entry, int32_t index) {
    if (!entry)
        return kFailed;
    if (!engine()) {
        *entry = TocEntry{};
        return kFailed;
    }
    return engine()->tocEntry(index, *entry) ? kOk : kFailed;
}

int32_t CDDAObjectImpl::ReadCdText(uint8_t* buffer, int32_t size, int32_t* length) {
    if (length)
        *length = 0;
    return engine() ? guarded(kFailed, [&] { return engine()->readCdText(buffer, size, length); })
                    : kFailed;
}

// The two slots below answer with ASPI status bytes, where 1 means "completed"; with no
// engine they answer 4 (error), never 1.
int32_t CDDAObjectImpl::IsUnitReady() {
    return engine() ? engine()->testUnitReady() : aspi::kError;
}

int32_t CDDAObjectImpl::EjectDisc(int32_t eject) {
    return engine() ? engine()->ejectDisc(eject != 0) : aspi::kError;
}

int32_t CDDAObjectImpl::GetAudioStatus() {
    return engine() ? engine()->audioStatus() : 0;
}

int32_t CDDAObjectImpl::StopPlayback() {
    return engine() ? okIfCompleted(engine()->stopPlayback()) : kFailed;
}

int32_t CDDAObjectImpl::PausePlayback(int32_t pause) {
    return engine() ? okIfCompleted(engine()->pausePlayback(pause != 0)) : kFailed;
}

void CDDAObjectImpl::GetLastSense(uint8_t* key, uint8_t* asc, uint8_t* ascq) {
    RipperEngine::lastSense(key, asc, ascq);
}

int32_t CDDAObjectImpl::GetPlayPosition(int32_t* relative, int32_t* absolute) {
    if (!engine()) {
        if (relative)
            *relative = 0;
        if (absolute)
            *absolute = 0;
        return kFailed;
    }
    return engine()->subChannelPosition(nullptr, nullptr, absolute, relative) ? kOk : kFailed;
}

int32_t CDDAObjectImpl::Seek(int32_t lba) {
    return engine() ? okIfCompleted(engine()->seek(lba)) : kFailed;
}

int32_t CDDAObjectImpl::PlayTrack(int32_t trackNumber) {
    return engine() ? engine()->playTrack(trackNumber) : kFailed;
}

int32_t CDDAObjectImpl::PlayRange(int32_t start, int32_t end) {
    return engine() ? okIfCompleted(engine()->playRange(start, end)) : kFailed;
}

int32_t CDDAObjectImpl::GetTransportLayer() {
    return g_transportSelector.load();
}

void CDDAObjectImpl::SetTransportLayer(int32_t selector) {
    g_transportSelector = selector;
}

void CDDAObjectImpl::Dispose() {
    Destroy(1);
}

void CDDAObjectImpl::Destroy(int32_t flags) {
    if (flags & 1)
        delete this;
    else
        std::destroy_at(this);
}

} // namespace cld
