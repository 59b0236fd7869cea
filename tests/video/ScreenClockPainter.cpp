// A test helper: fills the X screen named by its argument with white during the first
// half of every second of the wall clock (CLOCK_REALTIME) and with black during the
// second half, so that a screen recording carries the time. It writes "ready" on
// standard output once the first picture is on the screen and runs until it is killed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unistd.h>

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(argc > 1 ? argv[1] : nullptr);
    if (!display)
        return 1;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, screen);
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0,
                      static_cast<unsigned>(DisplayWidth(display, screen)),
                      static_cast<unsigned>(DisplayHeight(display, screen)), 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, window);
    XSync(display, False);
    int shown = -1;
    bool announced = false;
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const int white = now.tv_nsec < 500'000'000 ? 1 : 0;
        if (white != shown) {
            XSetWindowBackground(display, window,
                                 white ? WhitePixel(display, screen) : BlackPixel(display, screen));
            XClearWindow(display, window);
            XSync(display, False);
            shown = white;
            if (!announced) {
                std::puts("ready");
                std::fflush(stdout);
                announced = true;
            }
        }
        usleep(1000);
    }
}
