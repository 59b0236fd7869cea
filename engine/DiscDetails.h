#pragma once

#include "RipLog.h"

class CDRipObject;
class CDRipDriveSettings;

namespace cld::engine {

// What the disc's sub-channel says beyond its table of contents (pregaps, ISRCs, the
// catalogue number, control bits, the audio before track 1), read through the ripper's
// gap detection. `read` false when there is no disc or ripper.
accurip::DiscDetails readDiscDetails(CDRipObject* rip);

// The drive's features as a rip with these settings uses them, each "name: what", saying
// whether it was measured or assumed.
std::vector<std::string> driveFeatures(CDRipDriveSettings* drives,
                                       const accurip::DiscDetails& details);

} // namespace cld::engine
