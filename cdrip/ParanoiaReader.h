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
    std::unique_ptr<Library> m_lib;
    std::vector<std::uint8_t> m_scratch;
    const std::atomic<std::int32_t>* m_abort = nullptr;
    bool m_skip = false;
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
