#pragma once

// Whether a value of CLD_AUTOMATION asks for an unattended run: any non-empty value
// other than "0" does; an unset (null), empty or "0" value leaves the program attended.
bool unattendedRequested(const char* value);

// Whether it asks for a job of the command line to be run to its end unattended ("run"):
// the job's first dialog is confirmed as it stands, every message is answered with its
// safe choice, and the program ends with the job.
bool jobRunRequested(const char* value);

// Milliseconds since this process started (as the kernel counts it, in its clock ticks), or
// -1 when that cannot be read.
double millisecondsSinceProcessStart();
