#include "LoudnessMeter.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>

namespace {

// ReplayGain 2.0 plays everything at this loudness.
constexpr double kReferenceLufs = -18.0;

bool measured(double lufs) {
    return std::isfinite(lufs) && lufs > -70.0;
}

} // namespace

struct LoudnessMeter::State {
    ebur128_state* st = nullptr;
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : m_channels(channels) {
    if (channels < 1 || channels > 8 || sampleRate < 8000 || sampleRate > 384000)
        return;
    ebur128_state* st =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (st)
        m_state = new State{st};
}

LoudnessMeter::~LoudnessMeter() {
    if (m_state)
        ebur128_destroy(&m_state->st);
    delete m_state;
}

void LoudnessMeter::addFrames(const int16_t* samples, size_t frames) {
    if (m_state && frames > 0)
        ebur128_add_frames_short(m_state->st, samples, frames);
}

void LoudnessMeter::addFrames(const int32_t* samples, size_t frames) {
    if (m_state && frames > 0)
        ebur128_add_frames_int(m_state->st, samples, frames);
}

bool LoudnessMeter::valid() const {
    double lufs = 0;
    return m_state && ebur128_loudness_global(m_state->st, &lufs) == EBUR128_SUCCESS &&
           measured(lufs);
}

double LoudnessMeter::gainDb() const {
    double lufs = 0;
    if (!m_state || ebur128_loudness_global(m_state->st, &lufs) != EBUR128_SUCCESS ||
        !measured(lufs))
        return 0;
    return kReferenceLufs - lufs;
}

double LoudnessMeter::peak() const {
    double peak = 0;
    for (int c = 0; m_state && c < m_channels; ++c) {
        double p = 0;
        if (ebur128_sample_peak(m_state->st, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    return peak;
}

bool LoudnessMeter::albumValues(const std::vector<const LoudnessMeter*>& meters, double& gainDb,
                                double& peak) {
    std::vector<ebur128_state*> states;
    peak = 0;
    for (const LoudnessMeter* m : meters) {
        if (m && m->valid()) {
            states.push_back(m->m_state->st);
            peak = std::max(peak, m->peak());
        }
    }
    double lufs = 0;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS ||
        !measured(lufs))
        return false;
    gainDb = kReferenceLufs - lufs;
    return true;
}
