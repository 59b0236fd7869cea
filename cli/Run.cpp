// The run library of calderine (libcalderine.so): everything a subcommand does. The
// program itself only reads its command line, so that --version, --help and a usage error
// need none of the media libraries this one links.

#include "CliSettings.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCode.h"
#include "FfmpegLog.h"
#include "Interrupt.h"
#include "Invocation.h"
#include "Log.h"
#include "RipperLibrary.h"
#include "SettingsRecord.h"

#include <sys/ioctl.h>
#include <unistd.h>

using namespace cld::cli;

extern "C" __attribute__((visibility("default"))) int calderineRun(const Invocation* call) {
    const Invocation& invocation = *call;
    const CommonOptions& common = invocation.common;
    Console console(common.quiet     ? Verbosity::Quiet
                    : common.verbose ? Verbosity::Verbose
                                     : Verbosity::Normal,
                    common.json);
    if (::isatty(STDERR_FILENO)) {
        struct winsize size {};
        const int columns =
            ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
        console.setTerminal(true, columns);
    }
    installInterruptHandlers();
    // The libraries' log lines go to standard error between the progress bar's updates;
    // FFmpeg's own lines only with --verbose.
    cld::setLogSink([&console](cld::LogLevel level, const std::string& text) {
        if (level >= cld::LogLevel::Warning)
            console.error(text);
        else
            console.detail(text);
    });
    cld::setLogLevel(common.verbose ? cld::LogLevel::Debug
                     : common.quiet ? cld::LogLevel::Error
                                    : cld::LogLevel::Warning);
    cld::installFfmpegLog();

    SettingsRecord settings;
    settings.setProgramFolder(programFolder());
    if (invocation.command != Invocation::Command::Devices)
        loadSettings(settings);

    switch (invocation.command) {
    case Invocation::Command::Devices:
        return runDevices(console);
    case Invocation::Command::Info:
        return runInfo(console, settings, invocation.info);
    case Invocation::Command::Convert:
    case Invocation::Command::Decode:
        return runConvert(console, settings, common, invocation.convert);
    case Invocation::Command::Rip:
        return runRip(console, settings, common, invocation.rip);
    case Invocation::Command::Verify:
        return runVerify(console, settings, invocation.verify);
    }
    return kExitUsage;
}
