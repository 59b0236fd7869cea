#pragma once

#include <string>
#include <vector>

namespace cld {

// `path` with one "/" at its end (an empty path stays empty).
std::string withTrailingSlash(const std::string& path);
// The output folder proposed for a CD job: remembered folder + "/" + artist + " - " +
// album, with "Unknown Artist" and "Unknown" standing in for empty names, the last part
// made by the one file-name rule. Empty when nothing is remembered.
std::string cdOutputFolder(const std::string& remembered, const std::string& artist,
                           const std::string& album);
// The output proposed for a folder job: the input folder + `subFolder` + "/"
// ("MP3Files", "WMAFiles", "WAVFiles").
std::string folderModeOutput(const std::string& inputFolder, const std::string& subFolder);
// The output proposed for a file job: the input path with its extension (the last four
// characters; all of ".flac" and ".opus") replaced by `extension` (".mp3"); a path too
// short to have one gets the extension appended.
std::string fileModeOutput(const std::string& inputFile, const std::string& extension);
// The base name of a CD track's files: artist + " - " + title, made by the one file-name
// rule (cld::files::safeName), as the grabber does. Empty when the title gives nothing.
std::string cdTrackBaseName(const std::string& artist, const std::string& title);
// Whether `path` ends in `extension`, compared without regard to case.
bool hasExtension(const std::string& path, const std::string& extension);

// Creates one folder level (an existing folder is fine). A trailing "/" is ignored.
// Returns false with a reason when the folder does not exist afterwards.
bool createOneFolder(const std::string& path, std::string* reason = nullptr);

// The files of `folder` whose names end in `extension` (any case), sorted by name, as
// full paths. A missing or unreadable folder gives none.
std::vector<std::string> filesWithExtension(const std::string& folder,
                                            const std::string& extension);
// The audio files of `folder` that the encoding jobs take (WAV, FLAC, Ogg Vorbis, Opus,
// M4A/AAC and MP3, by extension in any case): the WAV files sorted by name, then the
// others sorted by name.
std::vector<std::string> audioFilesIn(const std::string& folder);
// The open-file filter of those files for the input picker, after the given first entry.
std::string audioInputFilter(const std::string& first, const std::string& allAudioText);

// The file's name without folder and extension.
std::string fileTitle(const std::string& path);

// The outputs of a batch in `folder`, one per input: the input's title + `extension`. A
// name that an earlier output or any input of the batch already has would replace that
// file, so it gets the input's own extension added ("song (flac).mp3"), and a number
// after that when even that is taken ("song (flac 2).mp3").
std::vector<std::string> batchOutputNames(const std::vector<std::string>& inputs,
                                          const std::string& folder, const std::string& extension);

// The first of `outputs` that is one of `inputs` itself (the same file, also through links
// or another spelling of its path), so that writing it would replace that input; empty
// when none is.
std::string outputReplacingInput(const std::vector<std::string>& inputs,
                                 const std::vector<std::string>& outputs);

} // namespace cld
