#pragma once

class QWidget;
struct JobContext;

// The launcher's "CD-Audio to WAV" command: the grabber, which writes the WAV files itself.
void runCdToWav(JobContext& context, QWidget* launcher);

// The grabber as the first step of the CD-to-MP3 and CD-to-WMA jobs: on OK the selection
// is kept in context.grabSelection. Returns whether the user accepted it.
bool runCdGrabberForEncoding(JobContext& context, QWidget* launcher);
