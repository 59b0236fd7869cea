#include "Mp3AlbumGain.h"

#include "Mp3Tags.h"

void Mp3AlbumGain::add(const std::string& path, std::unique_ptr<LoudnessMeter> meter) {
    if (meter)
        m_files.emplace_back(path, std::move(meter));
}

std::vector<std::string> Mp3AlbumGain::write() {
    std::vector<const LoudnessMeter*> meters;
    for (const auto& f : m_files)
        meters.push_back(f.second.get());
    double gain = 0;
    double peak = 0;
    std::vector<std::string> failed;
    if (!LoudnessMeter::albumValues(meters, gain, peak))
        return failed;
    for (const auto& f : m_files) {
        if (cld::addMp3AlbumGain(f.first, gain, peak) != 0)
            failed.push_back(f.first);
    }
    return failed;
}
