#pragma once

class QWidget;
struct JobContext;

// The conversion jobs of the launcher. Each is a chain of modal dialogs; a dialog opens
// only when the one before it was accepted.

// Folder/File to MP3 and to WMA.
void runFolderToMp3(JobContext& context, QWidget* launcher);
void runFolderToWma(JobContext& context, QWidget* launcher);
// MP3 to WAV and WMA to WAV.
void runMp3ToWav(JobContext& context, QWidget* launcher);
void runWmaToWav(JobContext& context, QWidget* launcher);

// The encoding half of the CD jobs: the settings dialog, then the progress dialog, for
// the tracks the CD grabber left in context.grabSelection.
void runCdToMp3Encoding(JobContext& context, QWidget* launcher);
void runCdToWmaEncoding(JobContext& context, QWidget* launcher);
