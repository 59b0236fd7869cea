#pragma once

class JobCommands;
namespace cld {
class LanguageManager;
}

// Registers the command of every job that exists with the launcher's command table.
// The options command offers the languages of `languages` (only the built-in one when
// null); the manager must outlive the commands.
void registerJobs(JobCommands& commands, cld::LanguageManager* languages = nullptr);
