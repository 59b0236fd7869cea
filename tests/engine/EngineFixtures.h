#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace enginetest {

// `frames` sample frames of interleaved 16-bit little-endian PCM: a tone per channel
// with some noise, using most of the range.
std::vector<std::uint8_t> tone(std::size_t frames, int channels = 2, int rate = 44100);

// Runs a shell command; its standard output, and its exit status in `status`.
std::string run(const std::string& command, int& status);

// The names in `folder` (file names only), sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// Quotes a path for the shell.
std::string quoted(const std::filesystem::path& path);

// A field of ffprobe's answer for the file's first audio stream or its format
// ("stream=codec_name", "format=duration", "format_tags=title"); empty when none.
std::string probe(const std::filesystem::path& file, const std::string& entry);

} // namespace enginetest
