#include "JobCommands.h"

void JobCommands::set(int controlId, Command command) {
    if (command)
        m_commands[controlId] = std::move(command);
    else
        m_commands.erase(controlId);
}

const JobCommands::Command* JobCommands::find(int controlId) const {
    const auto it = m_commands.find(controlId);
    return it == m_commands.end() ? nullptr : &it->second;
}
