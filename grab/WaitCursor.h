#pragma once

#include <QPointer>
#include <QWidget>

namespace cld {

// While it lives: the wait cursor is shown and `window` takes no input (it still
// repaints), so a command that blocks cannot be started twice.
class WaitCursor {
public:
    explicit WaitCursor(QWidget* window);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    QPointer<QWidget> m_window;
    bool m_disabled = false;
};

} // namespace cld
