#include "WmaRecorderEncoder.h"

#include "WmEncoderControl.h"

namespace cld {
namespace {

std::unique_ptr<WmEncoderControl>& slot() {
    static std::unique_ptr<WmEncoderControl> encoder;
    return encoder;
}

WmaRecorderEncoder::Factory& factorySlot() {
    static WmaRecorderEncoder::Factory factory;
    return factory;
}

} // namespace

WmEncoderControl& WmaRecorderEncoder::Get(const std::string& programFolder) {
    std::unique_ptr<WmEncoderControl>& encoder = slot();
    if (!encoder) {
        if (factorySlot())
            encoder = factorySlot()();
        else
            encoder = std::make_unique<WmEncoderControl>(programFolder + "profiles", std::string());
    }
    return *encoder;
}

WmEncoderControl* WmaRecorderEncoder::Current() {
    return slot().get();
}

void WmaRecorderEncoder::Release() {
    std::unique_ptr<WmEncoderControl>& encoder = slot();
    if (!encoder)
        return;
    encoder->Stop();
    encoder.reset();
}

void WmaRecorderEncoder::SetFactory(Factory factory) {
    factorySlot() = std::move(factory);
}

} // namespace cld
