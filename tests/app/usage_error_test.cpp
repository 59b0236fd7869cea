// A command-line error reaches a user who has no terminal: only when the program was
// started by the desktop (no standard stream is a terminal and there is no controlling
// terminal) and a display is there, it is shown in a message box as well. Anything started
// from a terminal or a script gets the error on standard error and exit code 2 at once.
#include "Processes.h"
#include "ProductIdentity.h"
#include "ProgramIdentity.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(UsageError, IsShownInABoxOnlyWhenTheDesktopStartedTheProgramAndADisplayIsThere) {
    const cld::StartFacts desktop{};
    const cld::StartFacts terminal{true, true};
    // `CLD --bogus 2>log` typed in a terminal: standard input and output are the terminal.
    const cld::StartFacts errorRedirected{true, true};
    // `CLD --bogus </dev/null >/dev/null 2>log` typed in a terminal: the terminal is still
    // the program's controlling terminal.
    const cld::StartFacts allRedirected{false, true};
    // A pipe from a script that runs without a terminal but has one on a standard stream.
    const cld::StartFacts streamOnly{true, false};
    struct Case {
        cld::StartFacts start;
        const char* display;
        const char* wayland;
        const char* platform;
        bool box;
    };
    const Case cases[] = {
        // From a terminal or a script: standard error is read there.
        {terminal, ":0", nullptr, nullptr, false},
        {terminal, nullptr, "wayland-0", nullptr, false},
        {errorRedirected, ":0", nullptr, nullptr, false},
        {allRedirected, ":0", nullptr, nullptr, false},
        {allRedirected, nullptr, "wayland-0", "wayland", false},
        {streamOnly, ":0", nullptr, "xcb", false},
        // From a file manager or a menu, on X11 or Wayland.
        {desktop, ":0", nullptr, nullptr, true},
        {desktop, nullptr, "wayland-0", nullptr, true},
        {desktop, ":1", nullptr, "xcb", true},
        {desktop, nullptr, "wayland-0", "wayland", true},
        {desktop, nullptr, "wayland-1", "wayland-egl", true},
        // No screen to show it on, or a platform that cannot: standard error only.
        {desktop, nullptr, nullptr, nullptr, false},
        {desktop, "", "", nullptr, false},
        {desktop, ":0", nullptr, "offscreen", false},
        {desktop, ":0", nullptr, "minimal", false},
        {desktop, ":0", nullptr, "no-such-platform", false},
        {desktop, nullptr, "wayland-0", "xcb", false},
        {desktop, ":0", nullptr, "wayland", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cld::usageErrorNeedsBox(c.start, c.display, c.wayland, c.platform), c.box)
            << c.start.anyStandardStreamIsTerminal << c.start.hasControllingTerminal << " "
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " "
            << (c.platform ? c.platform : "-");
}

// An X server of the test's own, so that the program has a display to put a box on.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const int devnull = ::open("/dev/null", O_RDWR);
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, cldtest::kHangLimitMs) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~Xvfb() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

// How the program is started in each case.
enum class Start {
    InTerminal,       // a shell in a terminal: stdin and stdout the terminal, stderr a file
    RedirectedInTerm, // the same shell, every stream redirected
    ByDesktop,        // no terminal anywhere, as a file manager starts a program
};

class UsageErrorRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cldtest::haveTool("Xvfb") || !cldtest::haveTool("xwininfo"))
            GTEST_SKIP() << "Xvfb or xwininfo is not installed";
        m_x = std::make_unique<Xvfb>();
        ASSERT_FALSE(m_x->display().empty());
    }
    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    void startProgram(Start how) {
        int slave = -1;
        if (how != Start::ByDesktop) {
            ASSERT_EQ(::openpty(&m_master, &slave, nullptr, nullptr, nullptr), 0);
        }
        const std::string program = (cldtest::binDir() / "CLD").string();
        const std::string log = m_log.string();
        const std::string display = m_x->display();
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::setsid();
            const int devnull = ::open("/dev/null", O_RDWR);
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (how == Start::ByDesktop) {
                ::dup2(devnull, STDIN_FILENO);
                ::dup2(devnull, STDOUT_FILENO);
            } else {
                ::ioctl(slave, TIOCSCTTY, 0);
                const int streams = how == Start::InTerminal ? slave : devnull;
                ::dup2(streams, STDIN_FILENO);
                ::dup2(streams, STDOUT_FILENO);
            }
            ::dup2(err, STDERR_FILENO);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            // The X keyboard library reads a string past the length it gives strndup;
            // under the address sanitizer's strict string checks that is reported as the
            // program's fault, so the program runs with the sanitizer's usual checks.
            if (const char* asan = std::getenv("ASAN_OPTIONS"))
                ::setenv("ASAN_OPTIONS", (std::string(asan) + ":strict_string_checks=0").c_str(),
                         1);
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("CLD_AUTOMATION");
            ::execl(program.c_str(), program.c_str(), "--bogus", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (slave >= 0)
            ::close(slave);
    }

    // Waits until the program has ended or has put a window with the product's name on
    // the display. True when it ended; `exitCode` then holds its exit code.
    bool endedOrShowedBox(int& exitCode, bool& boxShown) {
        bool ended = false;
        boxShown = false;
        cldtest::waitUntil([&] {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                ended = true;
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            }
            boxShown = run("xwininfo -display " + m_x->display() + " -root -tree 2>/dev/null")
                           .find(cld::identity::kProduct) != std::string::npos;
            return boxShown;
        });
        return ended;
    }

    std::string logText() const {
        std::ifstream in(m_log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    cldtest::TempDir m_dir;
    fs::path m_log = m_dir.file("stderr.log");
    std::unique_ptr<Xvfb> m_x;
    pid_t m_pid = -1;
    int m_master = -1;
};

TEST_F(UsageErrorRun, FromATerminalItPrintsAndEndsAtOnceWhateverIsRedirected) {
    for (const Start how : {Start::InTerminal, Start::RedirectedInTerm}) {
        SCOPED_TRACE(how == Start::InTerminal ? "stderr redirected" : "all redirected");
        startProgram(how);
        int exitCode = -1;
        bool box = false;
        EXPECT_TRUE(endedOrShowedBox(exitCode, box)) << "the program waits";
        EXPECT_FALSE(box) << "a box waits for someone to press OK";
        EXPECT_EQ(exitCode, 2);
        EXPECT_NE(logText().find("CLD: unknown option \"--bogus\""), std::string::npos)
            << logText();
        TearDown();
        m_master = -1;
    }
}

TEST_F(UsageErrorRun, StartedByTheDesktopItAlsoShowsABox) {
    startProgram(Start::ByDesktop);
    int exitCode = -1;
    bool box = false;
    EXPECT_FALSE(endedOrShowedBox(exitCode, box))
        << "ended with " << exitCode << "; its standard error:\n"
        << logText();
    EXPECT_TRUE(box);
    // Standard error has it too, for whoever looks at the session's log.
    EXPECT_NE(logText().find("CLD: unknown option \"--bogus\""), std::string::npos) << logText();
}

} // namespace
