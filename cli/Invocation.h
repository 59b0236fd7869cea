#pragma once

#include "Commands.h"

#include <string>
#include <vector>

// A command line read: which subcommand, with which options. The small program that
// reads it hands it to the library that runs it.
namespace cld::cli {

struct Invocation {
    enum class Command { Convert, Decode, Rip, Verify, Info, Devices };
    Command command = Command::Devices;
    CommonOptions common;
    ConvertOptions convert; // convert and decode
    RipOptions rip;
    InfoOptions info;
    std::vector<std::string> verify;
};

// Reads the arguments. Returns -1 when `invocation` is to be run; otherwise the exit code
// after the usage (0, printed for --help), the version (0) or a usage error (2, said on
// standard error).
int readCommandLine(int argc, char** argv, Invocation& invocation);

// The run library's one export ("libcalderine.so", "calderineRun").
using RunFunction = int (*)(const Invocation*);

} // namespace cld::cli
