#pragma once

#include "AudioEncoder.h"

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QWidget;
class WmEncoderControl;
struct JobContext;

namespace cld {

// The media encoder of a WMA job, with the program's profile collection: the profiles
// shipped in the program's "profiles" folder, then the user's profile folder.
std::unique_ptr<WmEncoderControl> createMediaEncoder(const JobContext& context);
// The WMA encoder's options for profile `profileIndex` of the collection
// createMediaEncoder reads.
engine::EncoderOptions wmaProfileOptions(const JobContext& context, int profileIndex);

// One entry of a WMA settings dialog's profile list.
struct AudioProfile {
    std::string name;
    int position = 0; // in the encoder's profile collection
};
// The audio-only profiles (at least one audio stream, no video or script stream), in
// collection order. When the encoder fails part-way, the list holds what was read and
// `failureCode` the failure (0 when none).
std::vector<AudioProfile> listAudioProfiles(const WmEncoderControl& encoder, uint32_t* failureCode);

// Fills a profile list (item data = position) and selects the first entry; a failure is
// reported once as "Error: %X".
void fillProfileList(QComboBox* list, const WmEncoderControl& encoder, QWidget* parent);

} // namespace cld
