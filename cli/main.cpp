// calderine: the program's jobs from a terminal, a script or a server, on the same engine
// as the dialogs. No Qt, no display, no session bus.
//
// This program reads the command line and answers --version, --help and usage errors by
// itself; the work is done by the run library beside it, loaded only then, because the
// media libraries it links take far longer to load than such an answer may take.

#include "ExitCode.h"
#include "InstallLayout.h"
#include "Invocation.h"

#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {} // namespace

int main(int argc, char** argv) {
    cld::cli::Invocation invocation;
    const int code = cld::cli::readCommandLine(argc, argv, invocation);
    if (code >= 0)
        return code;
    // Only the library in the program's own folder, never one found elsewhere.
    const std::string library = cld::runningProgramFiles() + "libcalderine.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto run =
        handle ? reinterpret_cast<cld::cli::RunFunction>(dlsym(handle, "calderineRun")) : nullptr;
    if (!run) {
        const char* why = dlerror();
        std::fprintf(stderr, "calderine: cannot load %s: %s\n", library.c_str(),
                     why ? why : "no calderineRun");
        return cld::cli::kExitNothingDone;
    }
    // The library stays loaded until the process ends: its objects live until then.
    return run(&invocation);
}
