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
    void NoteSkip() { m_skip = true; }

private:
    struct Library;
    std::unique_ptr<Library> m_lib;
    std::vector<std::uint8_t> m_scratch;
    const std::atomic<std::int32_t>* m_abort = nullptr;
    bool m_skip = false;
    int m_speedInForce = 0;
    long m_lastFailed = -1;
    // Reads sent to the drive since the speed was last set.
    long m_readsSinceSpeed = 0;
};
