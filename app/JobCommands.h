#pragma once

#include <functional>
#include <map>

class QWidget;

// The launcher's commands by control id. Each job registers the command that opens its
// chain of dialogs; a button whose command is not registered stays disabled.
class JobCommands {
public:
    using Command = std::function<void(QWidget* launcher)>;

    void set(int controlId, Command command);
    // The command of a control, or nullptr.
    const Command* find(int controlId) const;
    bool has(int controlId) const { return find(controlId) != nullptr; }

private:
    std::map<int, Command> m_commands;
};
