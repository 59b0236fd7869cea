#pragma once

class QWidget;
struct JobContext;

// The launcher's two recorder commands.
void runMp3Recorder(JobContext& context, QWidget* launcher);
void runWmaRecorder(JobContext& context, QWidget* launcher);
