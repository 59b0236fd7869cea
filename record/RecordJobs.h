#pragma once

class QWidget;
struct JobContext;

// The launcher's two recorder commands.
void RunMp3Recorder(JobContext& context, QWidget* launcher);
void RunWmaRecorder(JobContext& context, QWidget* launcher);
