#pragma once

#include <functional>
#include <map>

class QWidget;
struct JobContext;

// The launcher's commands by control id. Each job registers the command that opens its
// chain of dialogs (app/JobRegistry.cpp names them all); a button whose command is not
// registered stays disabled.
class JobCommands {
public:
    // Runs a job: its dialogs are owned by `launcher`, and everything the job needs from
    // the program comes through `context`.
    using Command = std::function<void(JobContext& context, QWidget* launcher)>;

    void set(int controlId, Command command);
    // The command of a control, or nullptr.
    const Command* find(int controlId) const;
    bool has(int controlId) const { return find(controlId) != nullptr; }

private:
    std::map<int, Command> m_commands;
};
