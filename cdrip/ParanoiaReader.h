#pragma once

#include "RipReader.h"

#include <memory>
#include <vector>

// Reads the range through the cdparanoia library, which verifies, re-reads and
// repairs each sector. The library reads the drive only through this reader's
// sector-read hook, which also carries the abort and the speed fall-back.
class ParanoiaReader : public RipReader {
public:
    static constexpr int kMaxRetries = 20;
    static constexpr long kAbortedRead = -999;
    static constexpr long kReadPastEnd = 10;
    static constexpr int kMinLibrarySectors = 8;
    // How many of the drive's recent reads are remembered (by a hash of each sector)
    // to check every sector the library returns against.
    static constexpr std::size_t kRecentReads = 96;

    explicit ParanoiaReader(RipDrive& drive);
    ~ParanoiaReader() override;

    int Open(const RipSettings& settings, long first, long last, long& bufferSize) override;
    int RipChunk(std::uint8_t* buffer, long* byteCount,
                 const std::atomic<std::int32_t>* abortFlag) override;
    void Close() override;

    // The library mode for a paranoia level (0..3, higher values as 3).
    static int ModeForLevel(int level);

    // Called by the library (through a static trampoline) with a buffer that may be
    // null when the library discards the data.
    long ReadHook(void* buffer, long lba, long count);
    // Called with each progress code of the library.
    void NoteProgress(int function);
    // True for the library's progress codes that mean it repaired what the drive
    // delivered (a jitter it joined over, a read it did again, a scratch it mended).
    static bool IsRepairEvent(int function);

    // True for the library's progress codes that mean the sectors it returns hold
    // samples it could not verify: a skip, a drift it corrected by its own guess, or
    // samples it dropped or duplicated to join reads. Audio that repeats within the
    // library's search window makes it take a wrong match for such an event.
    static bool IsUnverifiedEvent(int function);
    // True when a sector's middle holds any non-zero sample: no drive that lands up
    // to a quarter sector off brings sound into the middle of a silent sector.
    static bool HasSoundInMiddle(const std::uint8_t* sector);

private:
    struct Library;
    struct RecentRead {
        long lba = 0;
        long count = 0;
        std::vector<std::uint64_t> hashes; // one per sector
    };
    static std::uint64_t SectorHash(const std::uint8_t* sector);
    // Remembers what the drive delivered for count sectors at lba.
    void Remember(const std::uint8_t* data, long lba, long count);
    // How many of the recent reads delivered exactly these 2352 bytes for lba (counting
    // stops at enough).
    // Notes as well when reads of one sector differ (m_unstable).
    int DriveDelivered(long lba, const std::uint8_t* sector, int enough);
    // Checks the sectors of a chunk (the first `sectors` at buffer, starting at lba)
    // against what the drive delivered. A sector the drive never delivered as the
    // library returns it is read again (after stopping the drive's stream, so that it
    // lands exactly): when two reads of the drive agree, their audio is delivered in
    // its place; otherwise it is counted as unverified. checkAll also confirms
    // sectors that match a recent read (the library reported trouble in the chunk).
    // Sectors the drive will not deliver at all count as unread. Returns the number of
    // unverified sectors.
    long VerifyChunk(std::uint8_t* buffer, long lba, long sectors, bool checkAll);
    // Reads count sectors at lba so that they land exactly (sector by sector when the
    // drive cannot read them all at once); ok says which sectors arrived. False when
    // none did.
    bool ConfirmRead(std::vector<std::uint8_t>& into, std::vector<char>& ok, long lba, long count);
    std::unique_ptr<Library> m_lib;
    std::vector<std::uint8_t> m_scratch;
    const std::atomic<std::int32_t>* m_abort = nullptr;
    bool m_skip = false;
    bool m_repaired = false;
    std::vector<RecentRead> m_recent;
    std::size_t m_recentNext = 0;
    // Set once reads of one sector came back different: from then on every chunk is
    // confirmed by a read that lands exactly.
    bool m_unstable = false;
    // Set once the drive has erred in this range (reads of one sector differed, or a
    // read failed): only then is audio replaced by the drive's reads a correction.
    bool m_driveErred = false;
    std::vector<std::uint8_t> m_confirm;
    std::vector<std::uint8_t> m_confirmAgain;
    std::vector<char> m_confirmOk;
    std::vector<char> m_confirmAgainOk;
    // Sectors of the library's track (from the range start) in which the drive
    // delivered sound: a sector the library returns as silence there was never
    // verified, it is the library's filler.
    std::vector<bool> m_heardSound;
    long m_delivered = 0;
    int m_speedInForce = 0;
    long m_lastFailed = -1;
    // Reads sent to the drive since the speed was last set.
    long m_readsSinceSpeed = 0;
};
