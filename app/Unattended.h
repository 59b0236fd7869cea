#pragma once

// Whether a value of CLD_AUTOMATION asks for an unattended run: any non-empty value
// other than "0" does; an unset (null), empty or "0" value leaves the program attended.
bool unattendedRequested(const char* value);
