#pragma once

#include "OutputPlan.h"

#include <string>
#include <vector>

class QWidget;
struct JobContext;

namespace cld {

// What the user chose for the final names of a job that were already taken.
enum class TakenNamesChoice {
    NoneTaken, // every name was free: nothing was asked
    Replace,   // regular files there may be replaced (anything else stays and is refused)
    KeepBoth,  // the taken names were moved to numbered ones (" (2)")
    Cancel,    // the job must not start
};

using engine::makeOutputPlan;
using engine::OutputPlan;

// Asks once, when some of the plan's names are taken: "N files already exist: Replace /
// Keep both / Cancel", through the context's message service. Applies the answer to the
// plan (numbered names for Keep both, replaceExisting for Replace).
TakenNamesChoice settleTakenNames(const JobContext& context, OutputPlan& plan, QWidget* parent);

} // namespace cld
