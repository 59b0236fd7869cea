#pragma once

// How the command line ends; the manual page lists the same numbers.
namespace cld::cli {

enum ExitCode : int {
    kExitDone = 0,        // every item done
    kExitSomeFailed = 1,  // some items failed (each one listed)
    kExitUsage = 2,       // the command line cannot be followed
    kExitNothingDone = 3, // nothing could be done
    kExitInterrupted = 130,
};

} // namespace cld::cli
