#pragma once

#include <cstdint>

// Request records of the ASPI-style transport. A plug-in library exporting
// GetASPI32SupportInfo and SendASPI32Command (both with C linkage) serves drives
// through these records; the ripper library emulates the same two functions over the
// kernel's SCSI generic interface when no plug-in is present.

namespace aspi {

// Request commands.
inline constexpr uint8_t kHostAdapterInquiry = 0;
inline constexpr uint8_t kGetDeviceType = 1;
inline constexpr uint8_t kExecScsiCommand = 2;
inline constexpr uint8_t kAbortRequest = 3;

// Request status bytes.
inline constexpr uint8_t kPending = 0x00;
inline constexpr uint8_t kCompleted = 0x01;
inline constexpr uint8_t kAborted = 0x02;
inline constexpr uint8_t kError = 0x04;
inline constexpr uint8_t kInvalidCommand = 0x80;
inline constexpr uint8_t kInvalidAdapter = 0x81;
inline constexpr uint8_t kNoDevice = 0x82;

// Execute-request flags.
inline constexpr uint8_t kDataIn = 0x08;
inline constexpr uint8_t kDataOut = 0x10;
inline constexpr uint8_t kPostByEvent = 0x40;

// Target status of a finished command.
inline constexpr uint8_t kTargetGood = 0x00;
inline constexpr uint8_t kTargetCheckCondition = 0x02;

// GetASPI32SupportInfo: 0x0100 | adapter count, or this when there is no adapter.
inline constexpr uint32_t kNoAdapters = 0xE800;

inline constexpr int kSenseSize = 32;

} // namespace aspi

// Completion notice for a request sent with kPostByEvent: the manager calls
// post(postContext) once, after the request's status has left kPending. After an
// abort request for it has returned, the manager never touches the request again.
using AspiPostProc = void (*)(void* postContext);

struct SRB_Header {
    uint8_t command = 0;
    uint8_t status = 0;
    uint8_t adapter = 0;
    uint8_t flags = 0;
};

struct SRB_HAInquiry {
    SRB_Header header;
    uint8_t adapterCount = 0;
    uint8_t adapterScsiId = 0;
    char managerId[16] = {};
    char adapterId[16] = {};
    uint8_t unique[16] = {};
};

struct SRB_GDEVBlock {
    SRB_Header header;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t deviceType = 0;
};

struct SRB_ExecSCSICmd {
    SRB_Header header;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t senseLength = 0;
    uint8_t cdbLength = 0;
    uint8_t hostStatus = 0;
    uint8_t targetStatus = 0;
    uint32_t bufferLength = 0;
    uint8_t* buffer = nullptr;
    AspiPostProc post = nullptr;
    void* postContext = nullptr;
    uint8_t cdb[16] = {};
    uint8_t sense[aspi::kSenseSize] = {};
};

struct SRB_Abort {
    SRB_Header header;
    SRB_ExecSCSICmd* request = nullptr;
};

// The two entries of a transport. request points at one of the records above; its
// header's command byte says which.
using GetASPI32SupportInfoFn = uint32_t (*)();
using SendASPI32CommandFn = uint32_t (*)(void* request);
