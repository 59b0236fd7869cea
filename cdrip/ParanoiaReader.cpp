#include "ParanoiaReader.h"

#include "JitterSearch.h"
#include "RipDrive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

// The library's headers predate C++ (string literals as char*, an unused static
// table); keep their warnings out of ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wwrite-strings"
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wwritable-strings"
#endif
extern "C" {
#include <cdda_interface.h>
#include <cdda_paranoia.h>
}
#pragma GCC diagnostic pop

namespace {

// The library's progress callback carries no context; the reader whose request is
// running on this thread receives it.
thread_local ParanoiaReader* t_active = nullptr;

void paranoiaCallback(long /*inpos*/, int function) {
    if (t_active)
        t_active->NoteProgress(function);
}

bool isSilent(const std::uint8_t* data, std::size_t bytes) {
    return std::all_of(data, data + bytes, [](std::uint8_t b) { return b == 0; });
}

} // namespace

struct ParanoiaReader::Library {
    // The drive record comes first so the hook can find its reader from the record.
    cdrom_drive drive;
    ParanoiaReader* owner = nullptr;
    // The library's timed read stores its timing in the private record; it only
    // needs zeroed storage of at least the library's private size.
    alignas(16) unsigned char privateData[1024];
    cdrom_paranoia* paranoia = nullptr;

    ~Library() {
        if (paranoia)
            paranoia_free(paranoia);
    }
};

namespace {

long readTrampoline(cdrom_drive* d, void* buffer, long begin, long sectors) {
    // The record is the first member of a standard-layout Library.
    struct Head {
        cdrom_drive drive;
        ParanoiaReader* owner;
    };
    auto* head = reinterpret_cast<Head*>(d);
    return head->owner ? head->owner->ReadHook(buffer, begin, sectors) : -1;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

ParanoiaReader::ParanoiaReader(RipDrive& drive) : RipReader(drive) {}

ParanoiaReader::~ParanoiaReader() = default;

int ParanoiaReader::ModeForLevel(int level) {
    // Every level verifies: without it the library places each read by matching its
    // overlap alone, which is ambiguous in audio that repeats within the search
    // window, and a clean disc then comes back with shifted or missing samples.
    switch (level) {
    case 0:
    case 1:
        return level == 0 ? PARANOIA_MODE_OVERLAP | PARANOIA_MODE_VERIFY
                          : PARANOIA_MODE_FULL & ~PARANOIA_MODE_NEVERSKIP;
    case 2:
        return PARANOIA_MODE_FULL &
               ~(PARANOIA_MODE_SCRATCH | PARANOIA_MODE_REPAIR | PARANOIA_MODE_NEVERSKIP);
    default:
        return level < 0 ? PARANOIA_MODE_OVERLAP | PARANOIA_MODE_VERIFY
                         : PARANOIA_MODE_FULL & ~PARANOIA_MODE_NEVERSKIP;
    }
}

bool ParanoiaReader::IsUnverifiedEvent(int function) {
    switch (function) {
    case PARANOIA_CB_SKIP:
    case PARANOIA_CB_DRIFT:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
        return true;
    default:
        return false;
    }
}

bool ParanoiaReader::IsRepairEvent(int function) {
    switch (function) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_READERR:
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR:
        return true;
    default:
        return false;
    }
}

void ParanoiaReader::NoteProgress(int function) {
    if (IsUnverifiedEvent(function))
        m_skip = true;
    if (IsRepairEvent(function))
        m_repaired = true;
}

std::uint64_t ParanoiaReader::SectorHash(const std::uint8_t* sector) {
    // Four independent lanes over the 294 words of a sector keep the multiplies from
    // waiting on each other; any change of the audio changes the hash.
    constexpr std::uint64_t k = 0x9E3779B97F4A7C15ull;
    constexpr std::size_t words = cld::kSectorBytes / 8;
    auto word = [sector](std::size_t i) {
        std::uint64_t w;
        std::memcpy(&w, sector + i * 8, sizeof w);
        return w;
    };
    std::uint64_t a = 1, b = 2, c = 3, d = 4;
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4) {
        a = (a ^ word(i)) * k;
        b = (b ^ word(i + 1)) * k;
        c = (c ^ word(i + 2)) * k;
        d = (d ^ word(i + 3)) * k;
    }
    for (; i < words; ++i)
        a = (a ^ word(i)) * k;
    std::uint64_t h = (a ^ (b >> 29) ^ (c << 17) ^ (d >> 41)) * k;
    h = (h ^ b ^ (c >> 13) ^ (d << 7)) * k;
    return h ^ (h >> 32);
}

void ParanoiaReader::Remember(const std::uint8_t* data, long lba, long count) {
    if (m_recent.empty() || count <= 0)
        return;
    RecentRead& slot = m_recent[m_recentNext];
    m_recentNext = (m_recentNext + 1) % m_recent.size();
    slot.lba = lba;
    slot.count = count;
    slot.hashes.resize(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i)
        slot.hashes[static_cast<std::size_t>(i)] =
            SectorHash(data + static_cast<std::size_t>(i) * cld::kSectorBytes);
    if (m_unstable)
        return;
    // A drive that delivers one sector differently on two reads streams inaccurately or
    // reads a damaged disc: from then on two of its reads that agree may agree by
    // chance, and only reads that land exactly confirm the library's audio.
    const std::size_t n = m_recent.size();
    for (std::size_t k = 2; k <= n; ++k) {
        const RecentRead& r = m_recent[(m_recentNext + n - k) % n];
        const long from = std::max(lba, r.lba);
        const long to = std::min(lba + count, r.lba + r.count);
        for (long at = from; at < to; ++at) {
            if (r.hashes[static_cast<std::size_t>(at - r.lba)] !=
                slot.hashes[static_cast<std::size_t>(at - lba)]) {
                m_unstable = true;
                m_driveErred = true;
                return;
            }
        }
    }
}

int ParanoiaReader::DriveDelivered(long lba, const std::uint8_t* sector, int enough) {
    const std::uint64_t hash = SectorHash(sector);
    // Newest first: the library returns a sector soon after reading it.
    int found = 0;
    bool seen = false;
    std::uint64_t first = 0;
    const std::size_t n = m_recent.size();
    for (std::size_t k = 1; k <= n; ++k) {
        const RecentRead& r = m_recent[(m_recentNext + n - k) % n];
        if (r.count <= 0 || lba < r.lba || lba >= r.lba + r.count)
            continue;
        const std::uint64_t h = r.hashes[static_cast<std::size_t>(lba - r.lba)];
        // Two reads of one sector that differ: the drive does not deliver the same
        // audio twice (it streams inaccurately, or the disc is damaged), so reads that
        // agree by chance prove nothing from here on.
        if (seen && h != first)
            m_unstable = true;
        if (!seen) {
            first = h;
            seen = true;
        }
        if (h == hash && ++found >= enough)
            break;
    }
    return found;
}

bool ParanoiaReader::ConfirmRead(std::vector<std::uint8_t>& into, std::vector<char>& ok, long lba,
                                 long count) {
    into.assign(static_cast<std::size_t>(count) * cld::kSectorBytes, 0);
    ok.assign(static_cast<std::size_t>(count), 1);
    // A drive that streams places its reads only roughly; after a speed command it
    // finds its place from the sub-channel and the next read lands exactly.
    auto exactRead = [&](std::uint8_t* to, long at, long n) {
        if (m_speedInForce > 0)
            m_drive.SetSpeed(m_speedInForce);
        m_readsSinceSpeed = 1;
        return m_drive.ReadSectors(to, at, n);
    };
    if (exactRead(into.data(), lba, count))
        return true;
    // One sector the drive cannot read fails the whole command; read sector by sector
    // so that its neighbours are confirmed all the same.
    m_driveErred = true;
    bool any = false;
    for (long i = 0; i < count; ++i) {
        std::uint8_t* to = into.data() + static_cast<std::size_t>(i) * cld::kSectorBytes;
        const bool good = count > 1 && exactRead(to, lba + i, 1);
        ok[static_cast<std::size_t>(i)] = good ? 1 : 0;
        any = any || good;
    }
    // The failed command stopped the drive's stream; what it reads next lands exactly.
    m_readsSinceSpeed = 0;
    return any;
}

long ParanoiaReader::VerifyChunk(std::uint8_t* buffer, long lba, long sectors, bool checkAll) {
    auto sectorAt = [&](long i) {
        return buffer + static_cast<std::size_t>(i) * cld::kSectorBytes;
    };
    std::vector<long> doubtful;
    // One read is no proof (the library may pass on what a scratch delivered once); two
    // reads of a drive that delivers the same audio on every read are. Once the drive
    // is seen to deliver a sector differently, even the sectors of this chunk that two
    // of its reads agreed on are confirmed by reads that land exactly.
    if (!checkAll && !m_unstable) {
        for (long i = 0; i < sectors && !m_unstable; ++i)
            if (DriveDelivered(lba + i, sectorAt(i), 2) < 2)
                doubtful.push_back(i);
    }
    if (checkAll || m_unstable) {
        doubtful.resize(static_cast<std::size_t>(sectors));
        for (long i = 0; i < sectors; ++i)
            doubtful[static_cast<std::size_t>(i)] = i;
    }
    if (doubtful.empty())
        return 0;
    // Audio replaced by what the drive delivers is a correction of the drive only when
    // the drive has shown an error; otherwise it mends the library's own placement and
    // the audio is as exact as if the library had placed it well.
    auto replace = [&](long i, const std::uint8_t* read) {
        std::memcpy(sectorAt(i), read, cld::kSectorBytes);
        if (m_driveErred)
            ++m_corrected;
    };
    const long from = doubtful.front();
    const long count = doubtful.back() - from + 1;
    ConfirmRead(m_confirm, m_confirmOk, lba + from, count);
    std::vector<long> still;
    for (const long i : doubtful) {
        const auto k = static_cast<std::size_t>(i - from);
        const std::uint8_t* read = m_confirm.data() + k * cld::kSectorBytes;
        if (!m_confirmOk[k]) {
            still.push_back(i);
            continue;
        }
        if (std::memcmp(read, sectorAt(i), cld::kSectorBytes) == 0)
            continue; // the library's audio is what the drive delivers
        if (DriveDelivered(lba + i, read, 1) > 0) {
            // Two reads of the drive agree and the library's audio differs from them.
            replace(i, read);
            continue;
        }
        still.push_back(i);
    }
    if (still.empty())
        return 0;
    ConfirmRead(m_confirmAgain, m_confirmAgainOk, lba + from, count);
    long unverified = 0;
    for (const long i : still) {
        const auto k = static_cast<std::size_t>(i - from);
        const std::uint8_t* first = m_confirm.data() + k * cld::kSectorBytes;
        const std::uint8_t* again = m_confirmAgain.data() + k * cld::kSectorBytes;
        const bool firstOk = m_confirmOk[k] != 0;
        const bool againOk = m_confirmAgainOk[k] != 0;
        if (againOk && std::memcmp(again, sectorAt(i), cld::kSectorBytes) == 0)
            continue;
        if (firstOk && againOk && std::memcmp(first, again, cld::kSectorBytes) == 0) {
            replace(i, again);
            continue;
        }
        if (!firstOk && !againOk) {
            // The drive delivers nothing here: what the library returned is its filler,
            // and silence stands in its place.
            std::memset(sectorAt(i), 0, cld::kSectorBytes);
            ++m_unread;
            continue;
        }
        ++unverified;
    }
    return unverified;
}

bool ParanoiaReader::HasSoundInMiddle(const std::uint8_t* sector) {
    const std::size_t quarter = cld::kSectorBytes / 4;
    return !isSilent(sector + quarter, cld::kSectorBytes - 2 * quarter);
}

int ParanoiaReader::Open(const RipSettings& settings, long first, long last, long& bufferSize) {
    RipReader::Open(settings, first, last, bufferSize);
    if (m_settings.sectorsPerRead > kMaxJoinedRead) {
        m_settings.sectorsPerRead = kMaxJoinedRead;
        m_settings.compareSectors = std::min(m_settings.compareSectors, kMaxJoinedRead);
        bufferSize = static_cast<long>(m_settings.sectorsPerRead * cld::kSectorBytes);
    }
    // The library keeps its cache and its idea of the disc per instance; a fresh
    // instance per range keeps an earlier range's data out of this one.
    m_lib.reset();
    auto lib = std::make_unique<Library>();
    std::memset(&lib->drive, 0, sizeof lib->drive);
    std::memset(lib->privateData, 0, sizeof lib->privateData);
    cdrom_drive& d = lib->drive;
    d.opened = 1;
    d.drive_model = nullptr;
    d.interface = GENERIC_SCSI;
    d.bigendianp = 0; // the hook delivers little-endian samples
    // The library verifies by overlapping its reads; single-sector reads leave it
    // nothing to overlap and it then re-reads each sector thousands of times.
    d.nsectors = std::max(m_settings.sectorsPerRead, kMinLibrarySectors);
    // One audio track from the range start to a little past its end (within the
    // disc), so the library can verify the range's last samples against a read
    // that goes beyond them; RipChunk stops delivering at the range end.
    long trackEnd = std::max(m_end, m_start + 1);
    if (m_discEnd > trackEnd)
        trackEnd = std::min(m_discEnd, trackEnd + kReadPastEnd);
    d.tracks = 1;
    d.disc_toc[0].bFlags = 0;
    d.disc_toc[0].bTrack = 1;
    d.disc_toc[0].dwStartSector = static_cast<int32_t>(m_start);
    d.disc_toc[1].bFlags = 0;
    d.disc_toc[1].bTrack = 0xAA;
    d.disc_toc[1].dwStartSector = static_cast<int32_t>(trackEnd);
    d.audio_first_sector = m_start;
    d.audio_last_sector = trackEnd - 1;
    d.errordest = CDDA_MESSAGE_FORGETIT;
    d.messagedest = CDDA_MESSAGE_FORGETIT;
    d.read_audio = readTrampoline;
    d.private_data = reinterpret_cast<cdda_private_data_t*>(lib->privateData);
    lib->owner = this;
    lib->paranoia = paranoia_init(&d);
    if (!lib->paranoia) {
        m_open = false;
        return 1;
    }
    paranoia_modeset(lib->paranoia, ModeForLevel(m_settings.paranoiaLevel));
    paranoia_seek(lib->paranoia, m_start, SEEK_SET);
    m_lib = std::move(lib);
    m_heardSound.assign(static_cast<std::size_t>(trackEnd - m_start), false);
    m_delivered = 0;
    m_recent.assign(kRecentReads, RecentRead{});
    m_recentNext = 0;
    m_unstable = false;
    m_driveErred = false;
    m_speedInForce = m_settings.speed;
    m_lastFailed = -1;
    return 0;
}

void ParanoiaReader::Close() {
    RipReader::Close();
    m_lib.reset();
    m_scratch.clear();
    m_scratch.shrink_to_fit();
    m_heardSound.clear();
    m_heardSound.shrink_to_fit();
    m_recent.clear();
    m_recent.shrink_to_fit();
    m_confirm.clear();
    m_confirm.shrink_to_fit();
    m_confirmAgain.clear();
    m_confirmAgain.shrink_to_fit();
    m_confirmOk.clear();
    m_confirmAgainOk.clear();
}

long ParanoiaReader::ReadHook(void* buffer, long lba, long count) {
    if (count <= 0)
        return 0;
    if (m_abort && *m_abort)
        return kAbortedRead;
    auto* buf = static_cast<std::uint8_t*>(buffer);
    if (!buf) {
        m_scratch.resize(static_cast<std::size_t>(count) * cld::kSectorBytes);
        buf = m_scratch.data();
    }
    // Back to the configured speed once well past the place that failed.
    if (m_lastFailed >= 0 && lba > m_lastFailed + 500 && m_speedInForce != m_settings.speed) {
        m_drive.SetSpeed(m_settings.speed);
        m_speedInForce = m_settings.speed;
        m_lastFailed = -1;
        m_readsSinceSpeed = 0;
    }
    // The library takes the position of its reads at the range start as they come:
    // there is no verified audio before them to align them with, and the whole range
    // is placed by them. A drive that cannot stream accurately lands exactly only on
    // the first read after it stopped streaming, so when the drive has been reading
    // since the last speed setting, set the speed again before such a read.
    if (buffer && lba == m_start && m_readsSinceSpeed > 0 && m_speedInForce > 0) {
        m_drive.SetSpeed(m_speedInForce);
        m_readsSinceSpeed = 0;
    }
    ++m_readsSinceSpeed;
    long result = count;
    if (!m_drive.ReadSectors(buf, lba, count)) {
        if (m_speedInForce > 1) {
            sleepMs(1000);
            m_lastFailed = lba;
            m_drive.SetSpeed(1);
            m_speedInForce = 1;
        }
        m_driveErred = true;
        // Seek away so the next attempt is a fresh read, not the drive's cache.
        m_drive.ReadSectors(buf, m_start, count);
        // The library realigns its reads after a gap it could not read from the next
        // read alone; a drive that streams must land that one exactly.
        if (m_speedInForce > 0)
            m_drive.SetSpeed(m_speedInForce);
        m_readsSinceSpeed = 0;
        result = -1;
    } else {
        Remember(buf, lba, count);
        // Note where the drive delivered sound. The library also reads into a
        // discarded buffer (to move the drive away from its cache); that is sound
        // the drive delivered all the same.
        for (long i = 0; i < count; ++i) {
            const long index = lba + i - m_start;
            if (index < 0 || index >= static_cast<long>(m_heardSound.size()) ||
                m_heardSound[static_cast<std::size_t>(index)])
                continue;
            if (HasSoundInMiddle(buf + static_cast<std::size_t>(i) * cld::kSectorBytes))
                m_heardSound[static_cast<std::size_t>(index)] = true;
        }
    }
    if (m_abort && *m_abort)
        return kAbortedRead;
    return result;
}

int ParanoiaReader::RipChunk(std::uint8_t* buffer, long* byteCount,
                             const std::atomic<std::int32_t>* abortFlag) {
    if (byteCount)
        *byteCount = 0;
    m_abort = abortFlag;
    m_skip = false;
    m_repaired = false;
    if (!m_open || !byteCount || !buffer)
        return m_open ? RipChunkFailed : RipChunkDone;
    if (m_remainingBytes <= 0) {
        m_percent = 100;
        return RipChunkDone;
    }
    if (m_firstChunk) {
        m_current = m_start;
        m_drive.SetSpeed(m_settings.speed);
        SpinUp(abortFlag);
        m_firstChunk = false;
        m_readsSinceSpeed = 0;
    }
    if (!m_lib || !m_lib->paranoia)
        return RipChunkFailed;

    ParanoiaReader* previous = t_active;
    t_active = this;
    const long chunkLba = m_start + m_delivered;
    long out = 0;
    bool finished = false;
    for (int i = 0; i < m_settings.sectorsPerRead; ++i) {
        std::int16_t* sector =
            paranoia_read_limited(m_lib->paranoia, paranoiaCallback, kMaxRetries);
        if (!sector || (abortFlag && *abortFlag)) {
            t_active = previous;
            *byteCount = out;
            NotePeak(buffer, static_cast<std::size_t>(out));
            return RipChunkFailed;
        }
        std::uint8_t* const at = buffer + static_cast<std::size_t>(i) * cld::kSectorBytes;
        std::memcpy(at, sector, cld::kSectorBytes);
        // Silence where the drive delivered sound is the library's filler, returned
        // without any progress code: the sector was not read, so say so.
        const auto index = static_cast<std::size_t>(m_delivered++);
        if (index < m_heardSound.size() && m_heardSound[index] && isSilent(at, cld::kSectorBytes))
            m_skip = true;
        out += static_cast<long>(cld::kSectorBytes);
        m_remainingBytes -=
            std::min<long long>(m_remainingBytes, static_cast<long long>(cld::kSectorBytes));
        if (m_remainingBytes == 0) {
            finished = true;
            break;
        }
    }
    t_active = previous;
    *byteCount = out;
    // The library's verification can be fooled (by audio that repeats, at the end of
    // the disc): every sector it returns is held against what the drive delivered.
    const long sectors = out / static_cast<long>(cld::kSectorBytes);
    const long correctedBefore = m_corrected;
    const long unreadBefore = m_unread;
    const long unverified = VerifyChunk(buffer, chunkLba, sectors, m_skip);
    const long unread = m_unread - unreadBefore;
    m_unverified += unverified;
    if (m_repaired && m_driveErred && m_corrected == correctedBefore)
        m_corrected += sectors - unverified - unread;
    m_skip = unverified > 0 || unread > 0;
    if (m_skip)
        ++m_jitterCount;
    if (finished) {
        m_current = m_end;
        m_percent = 100;
    } else {
        m_current += m_settings.sectorsPerRead;
        const long total = m_end - m_start;
        m_percent = total > 0 ? static_cast<int>(100 - (m_end - m_current) * 100 / total) : 100;
    }
    NotePeak(buffer, static_cast<std::size_t>(out));
    return m_skip ? RipChunkJitter : RipChunkOk;
}
