#pragma once

struct AVDeviceInfoList;
struct AVInputFormat;

namespace cld {

// FFmpeg's device layer (the ALSA, Video4Linux2 and X11 capture inputs) is loaded the
// first time a device is used. It brings in well over half of the libraries the
// program would otherwise load at every start (sound servers, graphics, filters), which
// no file conversion needs.

// Registers the device inputs, loading the layer on the first call; false when it
// cannot be loaded (the devices are then missing).
bool registerDeviceInputs();
// The devices of one input format, as avdevice_list_input_sources gives them; a negative
// value when the layer is not loaded or the format cannot list its devices.
int listDeviceInputSources(const AVInputFormat* format, AVDeviceInfoList** list);
// Frees a list from listDeviceInputSources and sets it to nullptr.
void freeDeviceList(AVDeviceInfoList** list);

} // namespace cld
