#include "Mp3AlbumGain.h"

#include "Mp3Tags.h"

void AlbumLoudness::add(const std::string& path, std::unique_ptr<LoudnessMeter> meter) {
    if (meter)
        m_files.emplace_back(path, std::move(meter));
}

std::vector<std::string> AlbumLoudness::write() {
    std::vector<const LoudnessMeter*> meters;
    for (const auto& f : m_files)
        meters.push_back(f.second.get());
    double gain = 0;
    double peak = 0;
    std::vector<std::string> failed;
    if (!LoudnessMeter::albumValues(meters, gain, peak))
        return failed;
    for (const auto& f : m_files) {
        if (m_addValues(f.first, gain, peak) != 0)
            failed.push_back(f.first);
    }
    return failed;
}

Mp3AlbumGain::Mp3AlbumGain() : AlbumLoudness(&cld::addMp3AlbumGain) {}
