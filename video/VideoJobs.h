#pragma once

class QWidget;
struct JobContext;

// The launcher's two video commands: the settings dialog, then, when it is accepted, the
// progress dialog.
void runAVI2WMVJob(JobContext& context, QWidget* launcher);
void runCapture2WMVJob(JobContext& context, QWidget* launcher);
