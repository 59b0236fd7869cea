#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Measures a piece's loudness (EBU R 128 integrated loudness) and sample peak as its
// samples go by, for ReplayGain 2.0 values: the gain that brings the piece to -18 LUFS,
// and the peak as a fraction of full scale. Several meters together give an album's
// values.
class LoudnessMeter {
public:
    // A meter for interleaved samples of `channels` channels at `sampleRate`; a meter the
    // library could not make measures nothing and reports no values.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void addFrames(const int16_t* samples, size_t frames);
    // 32-bit samples at full 32-bit scale.
    void addFrames(const int32_t* samples, size_t frames);

    // False when nothing was measured (no audio, or only silence below the gate).
    bool valid() const;
    // ReplayGain 2.0 gain in dB (reference -18 LUFS) and the sample peak (1.0 = full
    // scale) of everything added so far.
    double gainDb() const;
    double peak() const;

    // The values of the pieces of one album taken together; meters that measured
    // nothing are left out. False when none measured anything.
    static bool albumValues(const std::vector<const LoudnessMeter*>& meters, double& gainDb,
                            double& peak);

private:
    struct State; // the library's measuring state
    State* m_state = nullptr;
    int m_channels = 0;
};
