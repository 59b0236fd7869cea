#include "TrackJob.h"

#include "SafeFiles.h"

#include <cstring>

bool makeOutputFolder(const std::string& folder, std::string& out) {
    std::string result = folder;
    if (!result.empty() && result.back() != '/')
        result += '/';
    if (result.size() >= TrackJob::kPathBytes)
        return false;
    out = result;
    return true;
}

std::string trackFileName(const std::string& name, std::int32_t format) {
    return cld::files::withExtension(name, format == TrackFormatFlac ? ".flac" : ".wav");
}

bool makeTrackJob(TrackJob& job, int trackIndex, const std::string& name, const std::string& folder,
                  int startSeconds, int endSeconds, std::string& error, std::int32_t format,
                  bool replaceExisting) {
    // A track's file lies in the output folder and nowhere else: a name is one file
    // name, never a path.
    if (name.empty()) {
        error = "the file name is empty";
        return false;
    }
    if (name.find('/') != std::string::npos) {
        error = "the file name \"" + name + "\" holds a path separator";
        return false;
    }
    if (name.rfind("..", 0) == 0 || name == ".") {
        error = "the file name \"" + name + "\" names a folder or starts with \"..\"";
        return false;
    }
    const std::string fileName = trackFileName(name, format);
    const std::string fullPath = folder + fileName;
    if (fileName.size() >= TrackJob::kPathBytes) {
        error = "the file name \"" + fileName + "\" is longer than 259 characters";
        return false;
    }
    if (fullPath.size() >= TrackJob::kPathBytes) {
        error = "the path \"" + fullPath + "\" is longer than 259 characters";
        return false;
    }
    job = TrackJob{};
    job.trackIndex = trackIndex;
    std::memcpy(job.fileName, fileName.c_str(), fileName.size() + 1);
    std::memcpy(job.fullPath, fullPath.c_str(), fullPath.size() + 1);
    job.startSeconds = startSeconds;
    job.endSeconds = endSeconds;
    job.format = format;
    job.replaceExisting = replaceExisting ? 1 : 0;
    return true;
}
