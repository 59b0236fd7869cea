#pragma once

#include <string>

namespace cld {

// Where a worker stands. Done, Failed and Aborted are final.
enum class JobState { Starting, Running, Paused, Done, Failed, Aborted };

const char* jobStateName(JobState state);
bool isFinal(JobState state);

// The one progress contract of everything that runs on a worker thread (an encode or
// decode job, the media encoder, a CD grab). A progress dialog polls these from the
// user-interface thread; every call is cheap and thread-safe. Adapters over each engine
// implement it beside the engine.
class JobProgress {
public:
    virtual ~JobProgress() = default;

    virtual JobState state() const = 0;
    // Progress of the current item in per mille (0..1000).
    virtual int perMille() const = 0;
    // The engine's own error code (0 when none) and its text (empty when none).
    virtual int errorCode() const = 0;
    virtual std::string errorText() const = 0;
    // Asks the worker to stop; it ends in Aborted (or Done/Failed if it was finishing).
    virtual void abort() = 0;
};

// Percent (0..100) to per mille, clamped.
int perMilleFromPercent(int percent);

} // namespace cld
