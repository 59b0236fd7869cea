// Subcommands whose engine part this build does not have yet: they say so and do nothing.
#include "Commands.h"
#include "ExitCode.h"

namespace cld::cli {

#ifdef CLD_CLI_NO_FILE_BATCH
int runConvert(Console& console, SettingsRecord&, const CommonOptions&,
               const ConvertOptions& options) {
    console.error(std::string(options.decode ? "decode" : "convert") +
                  ": this build has no file conversion engine");
    return kExitNothingDone;
}
#endif

#ifdef CLD_CLI_NO_CD_PIPELINE
int runRip(Console& console, SettingsRecord&, const CommonOptions&, const RipOptions&) {
    console.error("rip: this build has no CD ripping engine");
    return kExitNothingDone;
}
#endif

} // namespace cld::cli
