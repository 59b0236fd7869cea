#include "DeviceLayer.h"

#include "Log.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavdevice/version.h>
#include <libavutil/error.h>
}

#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <string>

namespace cld {

namespace {

struct Layer {
    decltype(&avdevice_register_all) registerAll = nullptr;
    decltype(&avdevice_list_input_sources) listInputSources = nullptr;
    decltype(&avdevice_free_list_devices) freeListDevices = nullptr;
};

#define CLD_STRINGIFY2(x) #x
#define CLD_STRINGIFY(x) CLD_STRINGIFY2(x)

// Loaded once and kept for the life of the process.
const Layer& loadedLayer() {
    static Layer layer;
    static std::once_flag once;
    std::call_once(once, [] {
        // The library of the major version the program was built against.
        const char* name = "libavdevice.so." CLD_STRINGIFY(LIBAVDEVICE_VERSION_MAJOR);
        void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            log(LogLevel::Warning,
                std::string("The capture device layer cannot be loaded: ") + (why ? why : name));
            return;
        }
        Layer loaded;
        loaded.registerAll = reinterpret_cast<decltype(&avdevice_register_all)>(
            dlsym(handle, "avdevice_register_all"));
        loaded.listInputSources = reinterpret_cast<decltype(&avdevice_list_input_sources)>(
            dlsym(handle, "avdevice_list_input_sources"));
        loaded.freeListDevices = reinterpret_cast<decltype(&avdevice_free_list_devices)>(
            dlsym(handle, "avdevice_free_list_devices"));
        if (!loaded.registerAll || !loaded.listInputSources || !loaded.freeListDevices) {
            log(LogLevel::Warning,
                std::string("The capture device layer lacks its functions: ") + name);
            dlclose(handle);
            return;
        }
        loaded.registerAll();
        layer = loaded;
    });
    return layer;
}

} // namespace

bool registerDeviceInputs() {
    return loadedLayer().registerAll != nullptr;
}

int listDeviceInputSources(const AVInputFormat* format, AVDeviceInfoList** list) {
    const Layer& layer = loadedLayer();
    if (!layer.listInputSources)
        return AVERROR(ENOSYS);
    return layer.listInputSources(format, nullptr, nullptr, list);
}

void freeDeviceList(AVDeviceInfoList** list) {
    const Layer& layer = loadedLayer();
    if (layer.freeListDevices)
        layer.freeListDevices(list);
}

} // namespace cld
