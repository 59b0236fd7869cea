#pragma once

#include "JobSpec.h"

#include <QString>
#include <QStringList>

class CDRipDriveSettings;
class CDRipObject;
class CdCacheDatabase;
class GenreList;
class MessageService;
class PickerService;
class SettingsRecord;
class WaitService;

// What a job needs from the program, handed to every job command by the launcher. A job
// never reaches for the application object; tests build a context of their own.
struct JobContext {
    JobContext(SettingsRecord& settingsRecord, const GenreList& genreList)
        : settings(settingsRecord), genres(genreList) {}

    // The settings record of the process: dialogs start from it and write it back (with
    // the profile value) when they are accepted.
    SettingsRecord& settings;
    const GenreList& genres;
    // The CD information cache, or null when it could not be opened.
    CdCacheDatabase* cache = nullptr;
    // The ripper library's grab object and its drive settings (null when not loaded).
    CDRipObject* ripObject = nullptr;
    CDRipDriveSettings* driveSettings = nullptr;
    // The program's folder, ending in "/".
    QString programFolder;
    // The CD grabber's last accepted selection, read by the CD jobs.
    cld::engine::DiscSelection grabSelection{};
    // The files the job was opened with from the command line or a file manager (absolute
    // paths); empty when it was started from the launcher. A job's first dialog starts
    // from them.
    QStringList initialFiles;

    // The services every dialog goes through (replaceable by tests).
    MessageService& messages() const;
    PickerService& pickers() const;
    WaitService& waits() const;
};
