#pragma once

#include "VirtualDrive.h"

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace vdrive {

// The drives the plug-in serves, one per configured image, on adapter 0.
// Configuration, read again whenever it changes:
//   CLD_VDRIVE_CONFIG  path of a configuration file (format below), else
//   CLD_VDRIVE_IMAGES  cue sheet paths separated by ':' (no faults), else
//   $XDG_CONFIG_HOME/calderine/vdrive.conf (default ~/.config/calderine/vdrive.conf).
// Configuration file: one "image <cue path>" line per drive; the lines after it until
// the next image line switch on that image's faults:
//   jitter <frames>            a read that follows a read lands up to this many stereo
//                              frames early or late (the first one after any other
//                              command lands exactly)
//   fail <first> [<last>]      reads of these sectors fail (medium error)
//   scratch <first> [<last>]   these sectors read differently every time
//   c2 <first> [<last>]        these sectors come back damaged with C2 error bits
//   media-changed <n>          the first n commands report a changed medium
//   slow <microseconds>        time each sector read takes (completes asynchronously)
//   slow-command <microseconds> time every command takes at least
//   address <target> <lun>     SCSI address (default: target = drive number, LUN 0)
//   product <text>             product text of INQUIRY (16 characters)
// Errors are reported on stderr with the file and line; a bad image is left out.
class DriveRegistry {
public:
    struct Entry {
        uint8_t target = 0;
        uint8_t lun = 0;
        std::shared_ptr<VirtualDrive> drive;
    };

    static DriveRegistry& instance();

    // Reads the configuration again when it changed since the last call.
    void refresh();
    std::shared_ptr<VirtualDrive> find(uint8_t adapter, uint8_t target, uint8_t lun);
    size_t size();

    // Parses configuration text; reports problems to errors (one line each).
    static std::vector<Entry> parseConfig(const std::string& text, const std::string& source,
                                          std::string& errors);

private:
    std::shared_mutex m_mutex;
    std::string m_key;
    std::vector<Entry> m_entries;
};

} // namespace vdrive
