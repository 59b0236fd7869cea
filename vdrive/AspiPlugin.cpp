// Entry points of the virtual drive plug-in: the two ASPI-style functions over the
// drives of DriveRegistry. Commands run synchronously, except on an image switched to
// a slow drive, where a command sent with kPostByEvent completes on a thread of its
// own and can be aborted. CLD_VDRIVE_LOG names a file that receives every command
// block (and MODE SELECT data) the plug-in is sent, one line each.

#include "DriveRegistry.h"
#include "cldrip/Aspi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vdrive {
namespace {

void storeStatus(SRB_Header& header, uint8_t status) {
    std::atomic_ref<uint8_t>(header.status).store(status);
}

class CommandLog {
public:
    void write(const SRB_ExecSCSICmd& srb) {
        const char* path = std::getenv("CLD_VDRIVE_LOG");
        if (!path || !*path)
            return;
        std::string line = std::to_string(srb.target) + ":" + std::to_string(srb.lun) + " " +
                           ((srb.header.flags & aspi::kDataIn)    ? "in"
                            : (srb.header.flags & aspi::kDataOut) ? "out"
                                                                  : "none");
        char hex[4];
        for (int i = 0; i < srb.cdbLength && i < 16; ++i) {
            std::snprintf(hex, sizeof(hex), " %02x", srb.cdb[i]);
            line += hex;
        }
        if ((srb.header.flags & aspi::kDataOut) && srb.buffer && srb.bufferLength) {
            line += " |";
            for (uint32_t i = 0; i < srb.bufferLength && i < 256; ++i) {
                std::snprintf(hex, sizeof(hex), " %02x", srb.buffer[i]);
                line += hex;
            }
        }
        line += '\n';
        std::lock_guard lock(m_mutex);
        if (std::FILE* f = std::fopen(path, "a")) {
            std::fputs(line.c_str(), f);
            std::fclose(f);
        }
    }

private:
    std::mutex m_mutex;
};

CommandLog& commandLog() {
    static CommandLog log;
    return log;
}

void finish(SRB_ExecSCSICmd& srb, const CommandResult& r) {
    std::memset(srb.sense, 0, sizeof(srb.sense));
    srb.hostStatus = 0;
    if (r.good) {
        srb.targetStatus = aspi::kTargetGood;
        storeStatus(srb.header, aspi::kCompleted);
        return;
    }
    uint8_t sense[18] = {};
    sense[0] = 0x70;
    sense[2] = r.senseKey;
    sense[7] = 10;
    sense[12] = r.asc;
    sense[13] = r.ascq;
    std::memcpy(srb.sense, sense,
                std::min<size_t>(std::min<size_t>(srb.senseLength, 18), sizeof(srb.sense)));
    srb.targetStatus = aspi::kTargetCheckCondition;
    storeStatus(srb.header, aspi::kError);
}

// A command of a slow drive, running on its own thread.
struct PendingCommand {
    SRB_ExecSCSICmd* srb = nullptr;
    std::mutex mutex;
    std::condition_variable cv;
    bool cancelled = false;
    bool done = false;
    std::thread thread;
};

class PendingCommands {
public:
    ~PendingCommands() {
        std::list<std::shared_ptr<PendingCommand>> all;
        {
            std::lock_guard lock(m_mutex);
            all.swap(m_commands);
        }
        for (auto& p : all)
            cancelAndJoin(*p);
    }

    void start(SRB_ExecSCSICmd* srb, std::shared_ptr<VirtualDrive> drive,
               std::chrono::microseconds delay) {
        reap();
        auto pending = std::make_shared<PendingCommand>();
        pending->srb = srb;
        PendingCommand* p = pending.get();
        std::lock_guard lock(m_mutex);
        // The thread is started under the list lock so that nobody can join it before
        // it has been stored.
        p->thread = std::thread([p, drive, delay] {
            std::unique_lock wait(p->mutex);
            if (p->cv.wait_for(wait, delay, [p] { return p->cancelled; }))
                return;
            SRB_ExecSCSICmd& request = *p->srb;
            finish(request, drive->execute(request.cdb, request.cdbLength, request.buffer,
                                           request.bufferLength));
            p->done = true;
            if (request.post)
                request.post(request.postContext);
        });
        m_commands.push_back(pending);
    }

    // Aborts the command of srb; after this returns the request is never touched again.
    bool abort(SRB_ExecSCSICmd* srb) {
        std::shared_ptr<PendingCommand> found;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_commands.begin(); it != m_commands.end(); ++it) {
                if ((*it)->srb == srb) {
                    found = *it;
                    m_commands.erase(it);
                    break;
                }
            }
        }
        if (!found)
            return false;
        const bool completed = cancelAndJoin(*found);
        if (!completed)
            storeStatus(srb->header, aspi::kAborted);
        return true;
    }

private:
    static bool cancelAndJoin(PendingCommand& p) {
        bool completed = false;
        {
            std::lock_guard lock(p.mutex);
            p.cancelled = true;
            completed = p.done;
        }
        p.cv.notify_all();
        if (p.thread.joinable())
            p.thread.join();
        return completed;
    }

    void reap() {
        std::list<std::shared_ptr<PendingCommand>> finished;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_commands.begin(); it != m_commands.end();) {
                bool done = false;
                {
                    std::lock_guard plock((*it)->mutex);
                    done = (*it)->done;
                }
                if (done) {
                    finished.push_back(*it);
                    it = m_commands.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& p : finished)
            p->thread.join();
    }

    std::mutex m_mutex;
    std::list<std::shared_ptr<PendingCommand>> m_commands;
};

PendingCommands& pendingCommands() {
    static PendingCommands pending;
    return pending;
}

uint32_t execute(SRB_ExecSCSICmd& srb) {
    commandLog().write(srb);
    std::shared_ptr<VirtualDrive> drive =
        DriveRegistry::instance().find(srb.header.adapter, srb.target, srb.lun);
    if (!drive) {
        srb.hostStatus = 0x11; // selection time-out
        storeStatus(srb.header, aspi::kError);
        return aspi::kError;
    }
    const Faults& faults = drive->faults();
    const int64_t micros =
        faults.slowMicrosPerCommand +
        faults.slowMicrosPerSector * VirtualDrive::sectorsOf(srb.cdb, srb.cdbLength);
    if (micros > 0 && (srb.header.flags & aspi::kPostByEvent)) {
        storeStatus(srb.header, aspi::kPending);
        pendingCommands().start(&srb, drive, std::chrono::microseconds(micros));
        return aspi::kPending;
    }
    if (micros > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
    finish(srb, drive->execute(srb.cdb, srb.cdbLength, srb.buffer, srb.bufferLength));
    return srb.header.status;
}

} // namespace
} // namespace vdrive

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
    try {
        vdrive::DriveRegistry::instance().refresh();
    } catch (...) {
        return aspi::kNoAdapters;
    }
    return 0x0100u | 1u;
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* request) {
    if (!request)
        return aspi::kError;
    auto* header = static_cast<SRB_Header*>(request);
    try {
        switch (header->command) {
        case aspi::kHostAdapterInquiry: {
            auto* srb = static_cast<SRB_HAInquiry*>(request);
            srb->adapterCount = 1;
            if (srb->header.adapter != 0) {
                header->status = aspi::kInvalidAdapter;
                return header->status;
            }
            srb->adapterScsiId = 7;
            std::memcpy(srb->managerId, "CLD VIRTUAL ASPI", 16);
            std::memcpy(srb->adapterId, "IMAGE DRIVES    ", 16);
            std::memset(srb->unique, 0, sizeof(srb->unique));
            srb->unique[3] = 16;
            srb->unique[6] = 0x01;
            header->status = aspi::kCompleted;
            return header->status;
        }
        case aspi::kGetDeviceType: {
            auto* srb = static_cast<SRB_GDEVBlock*>(request);
            if (vdrive::DriveRegistry::instance().find(srb->header.adapter, srb->target,
                                                       srb->lun)) {
                srb->deviceType = 5;
                header->status = aspi::kCompleted;
            } else {
                srb->deviceType = 31;
                header->status = aspi::kNoDevice;
            }
            return header->status;
        }
        case aspi::kExecScsiCommand:
            return vdrive::execute(*static_cast<SRB_ExecSCSICmd*>(request));
        case aspi::kAbortRequest: {
            auto* srb = static_cast<SRB_Abort*>(request);
            vdrive::pendingCommands().abort(srb->request);
            header->status = aspi::kCompleted;
            return header->status;
        }
        default:
            header->status = aspi::kInvalidCommand;
            return header->status;
        }
    } catch (...) {
        header->status = aspi::kError;
        return aspi::kError;
    }
}
