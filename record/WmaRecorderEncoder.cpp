#include "WmaRecorderEncoder.h"

#include "WmEncoderControl.h"

namespace cld {
namespace {

std::unique_ptr<WmEncoderControl>& Slot() {
    static std::unique_ptr<WmEncoderControl> encoder;
    return encoder;
}

WmaRecorderEncoder::Factory& FactorySlot() {
    static WmaRecorderEncoder::Factory factory;
    return factory;
}

} // namespace

WmEncoderControl& WmaRecorderEncoder::Get(const std::string& programFolder) {
    std::unique_ptr<WmEncoderControl>& encoder = Slot();
    if (!encoder) {
        if (FactorySlot())
            encoder = FactorySlot()();
        else
            encoder = std::make_unique<WmEncoderControl>(programFolder + "profiles", std::string());
    }
    return *encoder;
}

WmEncoderControl* WmaRecorderEncoder::Current() {
    return Slot().get();
}

void WmaRecorderEncoder::Release() {
    std::unique_ptr<WmEncoderControl>& encoder = Slot();
    if (!encoder)
        return;
    encoder->Stop();
    encoder.reset();
}

void WmaRecorderEncoder::SetFactory(Factory factory) {
    FactorySlot() = std::move(factory);
}

} // namespace cld
