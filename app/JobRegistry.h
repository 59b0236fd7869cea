#pragma once

class JobCommands;

// Registers the command of every job that exists with the launcher's command table.
void registerJobs(JobCommands& commands);
