// A command-line error reaches a user who has no terminal: when standard error goes
// nowhere a user looks, and a display is there, it is shown in a message box as well.
#include "ProgramIdentity.h"

#include <gtest/gtest.h>

namespace {

TEST(UsageError, IsShownInABoxOnlyWithoutATerminalAndWithADisplay) {
    struct Case {
        bool terminal;
        const char* display;
        const char* wayland;
        const char* platform;
        bool box;
    };
    const Case cases[] = {
        // From a terminal: standard error is read there.
        {true, ":0", nullptr, nullptr, false},
        {true, nullptr, "wayland-0", nullptr, false},
        // From a file manager or a menu, on X11 or Wayland.
        {false, ":0", nullptr, nullptr, true},
        {false, nullptr, "wayland-0", nullptr, true},
        {false, ":1", nullptr, "xcb", true},
        {false, nullptr, "wayland-0", "wayland", true},
        {false, nullptr, "wayland-1", "wayland-egl", true},
        // No screen to show it on, or a platform that cannot: standard error only.
        {false, nullptr, nullptr, nullptr, false},
        {false, "", "", nullptr, false},
        {false, ":0", nullptr, "offscreen", false},
        {false, ":0", nullptr, "minimal", false},
        {false, ":0", nullptr, "no-such-platform", false},
        {false, nullptr, "wayland-0", "xcb", false},
        {false, ":0", nullptr, "wayland", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cld::usageErrorNeedsBox(c.terminal, c.display, c.wayland, c.platform), c.box)
            << c.terminal << " " << (c.display ? c.display : "-") << " "
            << (c.wayland ? c.wayland : "-") << " " << (c.platform ? c.platform : "-");
}

} // namespace
