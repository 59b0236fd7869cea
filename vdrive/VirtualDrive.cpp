#include "VirtualDrive.h"

#include <algorithm>
#include <cstring>

namespace vdrive {
namespace {

// Sense keys and codes a drive uses.
constexpr uint8_t kNotReady = 0x02;
constexpr uint8_t kMediumError = 0x03;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kUnitAttention = 0x06;

constexpr int kRaw = 0;      // 2352 bytes per sector
constexpr int kRawC2 = 1;    // 2352 + 294 C2 bytes
constexpr int kRawC2Blk = 2; // 2352 + 296
constexpr int kUser = 3;     // 2048 user data bytes of a data sector
constexpr int kNoData = 4;   // no main channel data (sub-channel only)

uint32_t be16(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}
uint32_t be24(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
uint32_t be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
// Address field of READ TOC / READ SUB-CHANNEL, as LBA or as MSF.
void putAddress(uint8_t* p, int64_t lba, bool msf) {
    if (!msf) {
        put32(p, static_cast<uint32_t>(lba));
        return;
    }
    const int64_t a = lba + 150;
    p[0] = 0;
    p[1] = static_cast<uint8_t>(a / 4500);
    p[2] = static_cast<uint8_t>((a / 75) % 60);
    p[3] = static_cast<uint8_t>(a % 75);
}

uint8_t bcd(int64_t v) {
    return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10));
}

// Minutes, seconds and frames of a sector count, in BCD.
void putBcdMsf(uint8_t* p, int64_t sectors) {
    p[0] = bcd(sectors / 4500);
    p[1] = bcd((sectors / 75) % 60);
    p[2] = bcd(sectors % 75);
}

// Six-bit code of an ISRC's country and owner characters in the Q sub-channel.
uint8_t isrcCode(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    return static_cast<uint8_t>(0x11 + (c - 'A'));
}

CommandResult copyOut(const std::vector<uint8_t>& response, uint32_t allocation, uint8_t* buffer,
                      uint32_t length) {
    const auto n = static_cast<uint32_t>(std::min<size_t>(
        {response.size(), static_cast<size_t>(allocation), static_cast<size_t>(length)}));
    if (n && buffer)
        std::memcpy(buffer, response.data(), n);
    CommandResult r;
    r.transferred = n;
    return r;
}

struct ReadRequest {
    int64_t lba = 0;
    int64_t count = 0;
    int kind = kRaw;
    int expected = 0; // 0 any, 1 audio only, 2 data only
};

// Decodes the READ commands of every read method; false for other opcodes.
bool decodeRead(const uint8_t* cdb, int cdbLength, int32_t blockLength, ReadRequest& r) {
    r.lba = static_cast<int32_t>(be32(cdb + 2));
    switch (cdb[0]) {
    case 0xBE: {
        r.count = be24(cdb + 6);
        const int type = (cdb[1] >> 2) & 0x07;
        r.expected = type == 1 ? 1 : (type >= 2 ? 2 : 0);
        const uint8_t flags = cdb[9];
        const int c2 = (flags >> 1) & 0x03;
        if ((flags & 0xF8) == 0x10)
            r.kind = kUser; // user data only: 2048 for data sectors, 2352 for audio
        else if ((flags & 0xF8) == 0 && c2 == 0 && cdb[10] != 0)
            r.kind = kNoData; // the sub-channel alone
        else
            r.kind = kRaw;
        if (c2 == 1)
            r.kind = kRawC2;
        else if (c2 == 2)
            r.kind = kRawC2Blk;
        return true;
    }
    case 0x28:
        r.count = be16(cdb + 7);
        r.kind = blockLength == 2352 ? kRaw : kUser;
        r.expected = blockLength == 2352 ? 0 : 2;
        return true;
    case 0xA8:
        r.count = be32(cdb + 6);
        r.kind = blockLength == 2352 ? kRaw : kUser;
        r.expected = blockLength == 2352 ? 0 : 2;
        return true;
    case 0xD4:
        r.count = cdbLength >= 12 ? be16(cdb + 8) : be16(cdb + 7);
        r.expected = 1;
        return true;
    case 0xD5:
        r.count = be16(cdb + 7);
        r.expected = 1;
        return true;
    case 0xD8:
        r.count = be16(cdb + 8);
        r.expected = 1;
        return true;
    default:
        return false;
    }
}

} // namespace

VirtualDrive::VirtualDrive(std::shared_ptr<const DiscImage> image, Faults faults,
                           std::string product)
    : m_image(std::move(image)), m_faults(std::move(faults)), m_product(std::move(product)) {
    m_unitAttention = m_faults.mediaChanged;
}

void VirtualDrive::qFrame(const DiscImage& image, int64_t lba, uint8_t* q) {
    std::memset(q, 0, 12);
    const auto* track = image.trackAt(lba);
    const int64_t absolute = lba + 150;
    // Mode 2 and 3 frames never sit on an index's first sector or the one before it, so
    // that every index change shows in mode 1 frames on both sides.
    auto nearIndexChange = [&] {
        for (const auto& t : image.tracks()) {
            for (const int64_t edge : {t.index0, t.start})
                if (lba == edge || lba + 1 == edge)
                    return true;
        }
        return lba + 1 >= image.leadOut();
    };
    int mode = 1;
    if (track && track->audio && !nearIndexChange()) {
        if (!image.catalog().empty() && lba % 100 == 13)
            mode = 2;
        else if (!track->isrc.empty() && lba % 100 == 63)
            mode = 3;
    }
    const uint8_t control = track ? track->control : 0;
    q[0] = static_cast<uint8_t>((control << 4) | mode);
    if (mode == 1) {
        if (track) {
            q[1] = bcd(track->number);
            const bool pregap = lba < track->start;
            q[2] = pregap ? 0 : 1;
            // Relative time counts down through the pregap to 0 at INDEX 01.
            putBcdMsf(q + 3, pregap ? track->start - lba : lba - track->start);
        } else {
            q[1] = 0xAA; // lead-out
            q[2] = 1;
            putBcdMsf(q + 3, lba - image.leadOut());
        }
        putBcdMsf(q + 7, absolute);
    } else if (mode == 2) {
        const std::string& mcn = image.catalog();
        for (size_t i = 0; i < 13; ++i) {
            const auto digit = static_cast<uint8_t>(mcn[i] - '0');
            q[1 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? digit << 4 : digit);
        }
        q[9] = bcd(absolute % 75);
    } else {
        const std::string& isrc = track->isrc;
        // Five six-bit characters, then seven BCD digits.
        uint32_t bits = 0;
        for (size_t i = 0; i < 5; ++i)
            bits = (bits << 6) | isrcCode(isrc[i]);
        bits <<= 2;
        q[1] = static_cast<uint8_t>(bits >> 24);
        q[2] = static_cast<uint8_t>(bits >> 16);
        q[3] = static_cast<uint8_t>(bits >> 8);
        q[4] = static_cast<uint8_t>(bits);
        for (size_t i = 0; i < 7; ++i) {
            const auto digit = static_cast<uint8_t>(isrc[5 + i] - '0');
            q[5 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? digit << 4 : digit);
        }
        q[9] = bcd(absolute % 75);
    }
    // CRC-16 (x^16 + x^12 + x^5 + 1) of the ten bytes, inverted, big-endian.
    uint16_t crc = 0;
    for (int i = 0; i < 10; ++i) {
        crc ^= static_cast<uint16_t>(q[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    crc = static_cast<uint16_t>(~crc);
    q[10] = static_cast<uint8_t>(crc >> 8);
    q[11] = static_cast<uint8_t>(crc);
}

int64_t VirtualDrive::sectorsOf(const uint8_t* cdb, int cdbLength) {
    ReadRequest r;
    return decodeRead(cdb, cdbLength, 2352, r) ? r.count : 0;
}

uint32_t VirtualDrive::nextRandom() {
    return static_cast<uint32_t>(m_random());
}

CommandResult VirtualDrive::execute(const uint8_t* cdb, int cdbLength, uint8_t* buffer,
                                    uint32_t bufferLength) {
    ReadRequest request;
    const bool isRead = cdb && cdbLength >= 6 && decodeRead(cdb, cdbLength, 2352, request);
    CommandResult result = run(cdb, cdbLength, buffer, bufferLength);
    // Only a READ that completed keeps the drive streaming; any other command, or a
    // READ that failed, makes it stop and find its place again from the sub-channel.
    std::lock_guard lock(m_mutex);
    m_streaming = isRead && result.good;
    return result;
}

CommandResult VirtualDrive::run(const uint8_t* cdb, int cdbLength, uint8_t* buffer,
                                uint32_t bufferLength) {
    if (!cdb || cdbLength < 6 || cdbLength > 16)
        return CommandResult::check(kIllegalRequest, 0x20, 0x00);
    const uint8_t op = cdb[0];
    if (op == 0x12)
        return inquiry(buffer, std::min<uint32_t>(bufferLength, cdb[4]));
    {
        std::lock_guard lock(m_mutex);
        if (m_unitAttention > 0) {
            --m_unitAttention;
            return CommandResult::check(kUnitAttention, 0x28, 0x00);
        }
        const bool needsDisc = op == 0x00 || op == 0x43 || op == 0x42 || op == 0x2B || op == 0xA5 ||
                               op == 0x45 || op == 0x4B || op == 0xBE || op == 0x28 || op == 0xA8 ||
                               op == 0xD4 || op == 0xD5 || op == 0xD8;
        if (needsDisc && m_trayOpen)
            return CommandResult::check(kNotReady, 0x3A, 0x00);
    }
    switch (op) {
    case 0x00: // TEST UNIT READY
        return {};
    case 0x43:
        return readToc(cdb, buffer, bufferLength);
    case 0x42:
        return readSubChannel(cdb, buffer, bufferLength);
    case 0xBE:
    case 0x28:
    case 0xA8:
    case 0xD4:
    case 0xD5:
    case 0xD8:
        return readAudio(cdb, cdbLength, buffer, bufferLength);
    case 0x15:
    case 0x55:
        return modeSelect(cdb, buffer, bufferLength);
    case 0xBB: { // SET CD SPEED
        std::lock_guard lock(m_mutex);
        m_speed = static_cast<uint16_t>(be16(cdb + 2));
        return {};
    }
    case 0x1E: { // PREVENT/ALLOW MEDIUM REMOVAL
        std::lock_guard lock(m_mutex);
        m_locked = (cdb[4] & 0x01) != 0;
        return {};
    }
    case 0x1B:
        return startStop(cdb);
    case 0xA5:
        return play(static_cast<int32_t>(be32(cdb + 2)), be32(cdb + 6));
    case 0x45:
        return play(static_cast<int32_t>(be32(cdb + 2)), be16(cdb + 7));
    case 0x4B:
        return pauseResume(cdb);
    case 0x2B:
        return seek(cdb);
    default:
        return CommandResult::check(kIllegalRequest, 0x20, 0x00);
    }
}

CommandResult VirtualDrive::inquiry(uint8_t* buffer, uint32_t length) {
    std::vector<uint8_t> data(36, 0);
    data[0] = 0x05; // CD-ROM
    data[1] = 0x80; // removable
    data[2] = 0x00;
    data[3] = 0x32;
    data[4] = 31;
    const std::string vendor = "CLD     ";
    std::string product = m_product;
    product.resize(16, ' ');
    std::memcpy(data.data() + 8, vendor.data(), 8);
    std::memcpy(data.data() + 16, product.data(), 16);
    std::memcpy(data.data() + 32, "1.00", 4);
    return copyOut(data, 36, buffer, length);
}

CommandResult VirtualDrive::readToc(const uint8_t* cdb, uint8_t* buffer, uint32_t length) {
    const bool msf = (cdb[1] & 0x02) != 0;
    int format = cdb[2] & 0x0F;
    if (format == 0 && (cdb[9] >> 6) != 0)
        format = cdb[9] >> 6;
    const uint32_t allocation = be16(cdb + 7);
    const auto& tracks = m_image->tracks();
    std::vector<uint8_t> data(4, 0);
    if (format == 0) {
        int startTrack = cdb[6] == 0 ? 1 : cdb[6];
        if (startTrack != 0xAA && startTrack > tracks.back().number)
            return CommandResult::check(kIllegalRequest, 0x24, 0x00);
        auto add = [&](uint8_t controlAdr, int number, int64_t lba) {
            uint8_t d[8] = {};
            d[1] = controlAdr;
            d[2] = static_cast<uint8_t>(number);
            putAddress(d + 4, lba, msf);
            data.insert(data.end(), d, d + 8);
        };
        for (const auto& t : tracks) {
            if (startTrack != 0xAA && t.number >= startTrack)
                add(static_cast<uint8_t>(0x10 | t.control), t.number, t.start);
        }
        add(static_cast<uint8_t>(0x10 | tracks.back().control), 0xAA, m_image->leadOut());
        data[2] = static_cast<uint8_t>(tracks.front().number);
        data[3] = static_cast<uint8_t>(tracks.back().number);
    } else if (format == 1) {
        const auto last = std::find_if(tracks.begin(), tracks.end(), [&](const auto& t) {
            return t.session == m_image->sessions();
        });
        uint8_t d[8] = {};
        d[1] = static_cast<uint8_t>(0x10 | last->control);
        d[2] = static_cast<uint8_t>(last->number);
        putAddress(d + 4, last->start, msf);
        data.insert(data.end(), d, d + 8);
        data[2] = 1;
        data[3] = static_cast<uint8_t>(m_image->sessions());
    } else if (format == 5) {
        const auto& packs = m_image->cdTextPacks();
        if (packs.empty())
            return CommandResult::check(kIllegalRequest, 0x24, 0x00);
        data.insert(data.end(), packs.begin(), packs.end());
    } else {
        return CommandResult::check(kIllegalRequest, 0x24, 0x00);
    }
    put16(data.data(), static_cast<uint32_t>(data.size() - 2));
    return copyOut(data, allocation, buffer, length);
}

void VirtualDrive::updatePlay() {
    if (m_play != Play::Playing)
        return;
    const auto elapsed = std::chrono::steady_clock::now() - m_playSince;
    const int64_t sectors =
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 75 / 1000000;
    m_position = std::min(m_playStart + sectors, m_playEnd);
    if (m_position >= m_playEnd)
        m_play = Play::Completed;
}

CommandResult VirtualDrive::readSubChannel(const uint8_t* cdb, uint8_t* buffer, uint32_t length) {
    const bool msf = (cdb[1] & 0x02) != 0;
    const bool subQ = (cdb[2] & 0x40) != 0;
    const int format = cdb[3];
    const uint32_t allocation = be16(cdb + 7);
    std::lock_guard lock(m_mutex);
    updatePlay();
    std::vector<uint8_t> data(4, 0);
    switch (m_play) {
    case Play::Playing:
        data[1] = 0x11;
        break;
    case Play::Paused:
        data[1] = 0x12;
        break;
    case Play::Completed:
        data[1] = 0x13;
        m_play = Play::None; // reported once
        break;
    case Play::None:
        data[1] = 0x15;
        break;
    }
    if (subQ) {
        if (format == 1) {
            uint8_t d[12] = {};
            d[0] = 0x01;
            const auto* track = m_image->trackAt(m_position);
            if (track) {
                d[1] = static_cast<uint8_t>(0x10 | track->control);
                d[2] = static_cast<uint8_t>(track->number);
                d[3] = m_position >= track->start ? 1 : 0;
                putAddress(d + 4, m_position, msf);
                if (msf)
                    putAddress(d + 8, m_position - track->start - 150, true);
                else
                    put32(d + 8, static_cast<uint32_t>(m_position - track->start));
            }
            data.insert(data.end(), d, d + 12);
        } else if (format == 2) {
            uint8_t d[20] = {};
            d[0] = 0x02;
            const std::string& mcn = m_image->catalog();
            if (!mcn.empty()) {
                d[4] = 0x80; // MCVal
                std::memcpy(d + 5, mcn.data(), 13);
            }
            data.insert(data.end(), d, d + 20);
        } else if (format == 3) {
            uint8_t d[20] = {};
            d[0] = 0x03;
            const auto& tracks = m_image->tracks();
            const auto t = std::find_if(tracks.begin(), tracks.end(),
                                        [&](const auto& x) { return x.number == cdb[6]; });
            if (t == tracks.end())
                return CommandResult::check(kIllegalRequest, 0x24, 0x00);
            d[1] = static_cast<uint8_t>(0x10 | t->control);
            d[2] = static_cast<uint8_t>(t->number);
            if (!t->isrc.empty()) {
                d[4] = 0x80; // TCVal
                std::memcpy(d + 5, t->isrc.data(), 12);
            }
            data.insert(data.end(), d, d + 20);
        } else {
            return CommandResult::check(kIllegalRequest, 0x24, 0x00);
        }
    }
    put16(data.data() + 2, static_cast<uint32_t>(data.size() - 4));
    return copyOut(data, allocation, buffer, length);
}

CommandResult VirtualDrive::readAudio(const uint8_t* cdb, int cdbLength, uint8_t* buffer,
                                      uint32_t length) {
    int32_t blockLength = 2048;
    {
        std::lock_guard lock(m_mutex);
        blockLength = m_blockLength;
        m_play = Play::None;
    }
    ReadRequest r;
    decodeRead(cdb, cdbLength, blockLength, r);
    // Of the sub-channel selections only formatted Q (2) is served; raw P-W and R-W
    // are not.
    const bool withQ = cdb[0] == 0xBE && cdb[10] == 0x02;
    if (cdb[0] == 0xBE && cdb[10] != 0 && !withQ)
        return CommandResult::check(kIllegalRequest, 0x24, 0x00);
    if (r.count == 0)
        return {};
    if (r.lba < 0 || r.lba + r.count > m_image->leadOut())
        return CommandResult::check(kIllegalRequest, 0x21, 0x00);
    // A sector of the wrong kind fails the command before anything is transferred.
    for (int64_t lba = r.lba; lba < r.lba + r.count; ++lba) {
        const auto* track = m_image->trackAt(lba);
        const bool audio = track && track->audio;
        if ((r.expected == 1 && !audio) || (r.expected == 2 && audio))
            return CommandResult::check(kIllegalRequest, 0x64, 0x00);
    }
    uint32_t written = 0;
    return readSectors(r.lba, r.count, r.kind, buffer, length, written, withQ);
}

CommandResult VirtualDrive::readSectors(int64_t lba, int64_t count, int kind, uint8_t* out,
                                        uint32_t length, uint32_t& written, bool withQ) {
    const auto* first = m_image->trackAt(lba);
    const bool allAudio = first && first->audio;
    auto sectorBytes = [&](bool audio) -> uint32_t {
        switch (kind) {
        case kRawC2:
            return 2352 + 294;
        case kRawC2Blk:
            return 2352 + 296;
        case kUser:
            return audio ? 2352 : 2048;
        case kNoData:
            return 0;
        default:
            return 2352;
        }
    };
    const uint32_t qBytes = withQ ? 16 : 0;
    // Check the whole request before touching the buffer.
    uint64_t total = 0;
    for (int64_t s = lba; s < lba + count; ++s) {
        if (!m_image->readable(s))
            return CommandResult::check(kIllegalRequest, 0x21, 0x00);
        const auto* t = m_image->trackAt(s);
        total += sectorBytes(t && t->audio) + qBytes;
    }
    if (!out || total > length)
        return CommandResult::check(kIllegalRequest, 0x24, 0x00);

    int64_t shiftBytes = 0;
    uint32_t seed = 0;
    {
        std::lock_guard lock(m_mutex);
        // A read that continues a stream lands a few frames off; the first read after
        // the drive stopped streaming lands exactly (see m_streaming).
        if (m_faults.jitterFrames > 0 && allAudio && m_streaming) {
            const int span = 2 * m_faults.jitterFrames + 1;
            shiftBytes = (static_cast<int64_t>(nextRandom() % static_cast<uint32_t>(span)) -
                          m_faults.jitterFrames) *
                         4;
        }
        seed = nextRandom();
    }
    std::minstd_rand noise(seed | 1);
    uint8_t* p = out;
    for (int64_t s = lba; s < lba + count; ++s) {
        if (Faults::hit(m_faults.failing, s)) {
            written = static_cast<uint32_t>(p - out);
            CommandResult r = CommandResult::check(kMediumError, 0x11, 0x00);
            r.transferred = written;
            return r;
        }
        const auto* t = m_image->trackAt(s);
        const bool audio = t && t->audio;
        auto appendQ = [&] {
            if (!withQ)
                return;
            qFrame(*m_image, s, p);
            std::memset(p + 12, 0, 4);
            p += 16;
        };
        if (kind == kNoData) {
            appendQ();
            continue;
        }
        if (kind == kUser && !audio) {
            // User data follows the sync and header (and the XA subheader in Mode 2).
            uint8_t raw[2352];
            m_image->copyBytes(s * 2352, 2352, raw);
            std::memcpy(p, raw + (t ? t->userDataOffset : 16), 2048);
            p += 2048;
            appendQ();
            continue;
        }
        const int64_t offset = s * 2352 + (audio ? shiftBytes - m_faults.readOffset * 4 : 0);
        m_image->copyBytes(offset, 2352, p);
        if (Faults::hit(m_faults.scratched, s)) {
            for (int i = 0; i < 2352; i += 2) {
                const auto v = static_cast<uint16_t>(noise());
                p[i] = static_cast<uint8_t>(v);
                p[i + 1] = static_cast<uint8_t>(v >> 8);
            }
        }
        const bool c2 = Faults::hit(m_faults.c2, s);
        if (c2) {
            for (int i = 0; i < 2352; i += 97)
                p[i] ^= 0x5A;
        }
        if (kind == kRawC2 || kind == kRawC2Blk) {
            uint8_t* bits = p + 2352;
            const int n = kind == kRawC2 ? 294 : 296;
            std::memset(bits, 0, static_cast<size_t>(n));
            if (c2) {
                for (int i = 0; i < 2352; i += 97)
                    bits[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
                if (kind == kRawC2Blk)
                    bits[294] = 1;
            }
        }
        p += sectorBytes(audio);
        appendQ();
    }
    written = static_cast<uint32_t>(p - out);
    CommandResult r;
    r.transferred = written;
    return r;
}

CommandResult VirtualDrive::modeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t length) {
    const bool ten = cdb[0] == 0x55;
    const uint32_t paramLength = ten ? be16(cdb + 7) : cdb[4];
    const uint32_t headerLength = ten ? 8 : 4;
    if (paramLength == 0)
        return {};
    if (!data || paramLength > length || paramLength < headerLength)
        return CommandResult::check(kIllegalRequest, 0x1A, 0x00);
    const uint32_t descriptorLength = ten ? be16(data + 6) : data[3];
    if (descriptorLength != 0 && descriptorLength != 8)
        return CommandResult::check(kIllegalRequest, 0x26, 0x00);
    if (headerLength + descriptorLength > paramLength)
        return CommandResult::check(kIllegalRequest, 0x1A, 0x00);
    // Pages must lie within the parameter list.
    for (uint32_t at = headerLength + descriptorLength; at < paramLength;) {
        if (at + 2 > paramLength || at + 2 + data[at + 1] > paramLength)
            return CommandResult::check(kIllegalRequest, 0x26, 0x00);
        at += 2u + data[at + 1];
    }
    if (descriptorLength == 8) {
        const uint8_t* d = data + headerLength;
        const uint32_t block = be24(d + 5);
        if (block != 2048 && block != 2352)
            return CommandResult::check(kIllegalRequest, 0x26, 0x00);
        std::lock_guard lock(m_mutex);
        m_blockLength = static_cast<int32_t>(block);
        m_density = d[0];
    }
    return {};
}

CommandResult VirtualDrive::startStop(const uint8_t* cdb) {
    const bool loadEject = (cdb[4] & 0x02) != 0;
    const bool start = (cdb[4] & 0x01) != 0;
    std::lock_guard lock(m_mutex);
    if (!loadEject) {
        if (!start)
            m_play = Play::None;
        return {};
    }
    if (!start) {
        if (m_locked)
            return CommandResult::check(kIllegalRequest, 0x53, 0x02);
        m_trayOpen = true;
        m_play = Play::None;
        m_position = 0;
        return {};
    }
    if (m_trayOpen) {
        m_trayOpen = false;
        m_unitAttention = std::max(m_unitAttention, 1);
        m_blockLength = 2048;
    }
    return {};
}

CommandResult VirtualDrive::play(int64_t start, int64_t count) {
    if (count == 0)
        return {};
    if (start < 0 || start + count > m_image->leadOut())
        return CommandResult::check(kIllegalRequest, 0x21, 0x00);
    const auto* track = m_image->trackAt(start);
    if (!track || !track->audio)
        return CommandResult::check(kIllegalRequest, 0x64, 0x00);
    std::lock_guard lock(m_mutex);
    m_play = Play::Playing;
    m_playStart = start;
    m_playEnd = start + count;
    m_position = start;
    m_playSince = std::chrono::steady_clock::now();
    return {};
}

CommandResult VirtualDrive::pauseResume(const uint8_t* cdb) {
    const bool resume = (cdb[8] & 0x01) != 0;
    std::lock_guard lock(m_mutex);
    updatePlay();
    if (resume) {
        if (m_play != Play::Paused)
            return CommandResult::check(kIllegalRequest, 0x2C, 0x00);
        m_play = Play::Playing;
        m_playStart = m_position;
        m_playSince = std::chrono::steady_clock::now();
    } else {
        if (m_play != Play::Playing && m_play != Play::Paused)
            return CommandResult::check(kIllegalRequest, 0x2C, 0x00);
        m_play = Play::Paused;
    }
    return {};
}

CommandResult VirtualDrive::seek(const uint8_t* cdb) {
    const int64_t lba = static_cast<int32_t>(be32(cdb + 2));
    if (lba < 0 || lba >= m_image->leadOut())
        return CommandResult::check(kIllegalRequest, 0x21, 0x00);
    std::lock_guard lock(m_mutex);
    m_play = Play::None;
    m_position = lba;
    return {};
}

int64_t VirtualDrive::playPosition() {
    std::lock_guard lock(m_mutex);
    updatePlay();
    return m_position;
}

} // namespace vdrive
