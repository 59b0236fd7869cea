#pragma once

#include "cldrip/Aspi.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace cld {

// Emulation of the two ASPI entries over the kernel's SCSI generic interface (SG_IO)
// on the CD device nodes /dev/sr0 .. /dev/sr25. Process-wide: one slot per device node.
class PassThrough {
public:
    static constexpr int kSlots = 26;

    static PassThrough& instance();

    // Finds the CD drives; runs once until shutdown (a repeated scan finds none).
    // Returns the number of drives found.
    int scan();
    // Closes every handle and forgets the scan.
    void shutdown();

    // The emulated entries (installed in place of a plug-in's).
    static uint32_t GetASPI32SupportInfo();
    static uint32_t SendASPI32Command(void* request);

    // Device node of slot index; CLD_SG_DEVICE_PREFIX replaces "/dev/sr" (used to
    // point the scan at a folder without drives).
    static std::string devicePath(int index);

private:
    struct Slot {
        uint8_t port = 0;
        uint8_t target = 0;
        uint8_t lun = 0;
        uint8_t letter = 0;
        int32_t inUse = 0;
        int fd = -1;
        std::array<uint8_t, 36> inquiry{};
    };

    bool probe(Slot& slot);
    bool openSlot(Slot& slot);
    void closeSlot(Slot& slot);
    Slot* findSlot(uint8_t port, uint8_t target, uint8_t lun);
    uint32_t execute(SRB_ExecSCSICmd& srb);
    uint32_t supportInfo();
    void recountAdapters();

    std::mutex m_mutex; // guards the slot table and handles
    std::array<Slot, kSlots> m_slots{};
    uint8_t m_adapterCount = 0;
    bool m_scanned = false;
};

} // namespace cld
