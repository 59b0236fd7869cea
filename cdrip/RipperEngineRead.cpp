// Audio extraction entry points of the engine. Until the readers land, every one of
// them gives the "no ripper open" answer, and no CDRipObject is handed out.

#include "ClassFactory.h"
#include "RipperEngine.h"

namespace cld {

class ReadState {};

void ReadStateDeleter::operator()(ReadState* state) const {
    delete state;
}

void* createCDRipObject() {
    return nullptr;
}

int32_t RipperEngine::openRipper(int32_t* bufferSize, int32_t, int32_t) {
    if (bufferSize)
        *bufferSize = 0;
    return 1;
}

int32_t RipperEngine::closeRipper() {
    return 0;
}

int32_t RipperEngine::ripChunk(uint8_t*, int32_t* byteCount, const std::atomic<int32_t>*) {
    if (byteCount)
        *byteCount = 0;
    return 1;
}

int32_t RipperEngine::percentCompleted() const {
    return 0;
}

int32_t RipperEngine::peakValue() const {
    return 0;
}

int32_t RipperEngine::jitterErrorCount() const {
    return 0;
}

int32_t RipperEngine::jitterPosition() const {
    return 50;
}

void RipperEngine::jitterErrorPosition(int32_t* sector, int32_t* current) const {
    if (sector)
        *sector = 0;
    if (current)
        *current = 0;
}

int32_t RipperEngine::scanForC2Errors(int32_t, int32_t, int32_t* found, int32_t*, int32_t,
                                      const std::atomic<int32_t>*) {
    if (found)
        *found = 0;
    return 1;
}

bool RipperEngine::readSectors(uint8_t*, int32_t, int32_t) {
    return false;
}

} // namespace cld
