#pragma once

class QWidget;
struct JobContext;

// The launcher's two video commands: the settings dialog, then, when it is accepted, the
// progress dialog.
void runAviToWmv(JobContext& context, QWidget* launcher);
void runCaptureToWmv(JobContext& context, QWidget* launcher);
