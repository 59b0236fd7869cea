#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace accurip {

// Cuts audio that arrives in pieces of any size into whole samples (16-bit stereo, 4
// bytes): a sample split between two pieces waits here until its rest arrives, and a
// large piece goes on in steps of at most `step` samples.
class SampleFeed {
public:
    // Calls addSamples(const uint8_t* bytes, size_t samples) for every whole sample the
    // piece completes or holds, in order.
    template <class AddSamples>
    void feed(const uint8_t* bytes, size_t length, size_t step, AddSamples&& addSamples) {
        if (!bytes)
            return;
        while (m_partialBytes > 0 && length > 0) {
            m_partial[m_partialBytes++] = *bytes++;
            --length;
            if (m_partialBytes == 4) {
                addSamples(m_partial, size_t{1});
                m_partialBytes = 0;
            }
        }
        while (length >= 4) {
            const size_t n = std::min(length / 4, step);
            addSamples(bytes, n);
            bytes += n * 4;
            length -= n * 4;
        }
        for (size_t i = 0; i < length; ++i)
            m_partial[m_partialBytes++] = bytes[i];
    }

private:
    uint8_t m_partial[4] = {};
    size_t m_partialBytes = 0;
};

} // namespace accurip
