#pragma once

#include <cstdint>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

// Where the command line speaks: progress and diagnostics on standard error (a live bar
// when it is a terminal, plain lines otherwise), results on standard output (one line, or
// one JSON object, per finished item).
namespace cld::cli {

enum class Verbosity { Quiet, Normal, Verbose };

class Console {
public:
    Console(Verbosity verbosity, bool json);
    // Whether standard error is a terminal (a live bar) and how wide it is.
    void setTerminal(bool terminal, int columns = 80);

    Verbosity verbosity() const { return m_verbosity; }
    bool json() const { return m_json; }

    // A result: a JSON object in --json mode, otherwise `text` as one line.
    void result(const nlohmann::ordered_json& object, const std::string& text);
    // A diagnostic line on standard error ("calderine: ...").
    void error(const std::string& text);
    void note(const std::string& text);   // not shown with --quiet
    void detail(const std::string& text); // only with --verbose
    // The live bar (terminal) or, at most every few seconds, a plain progress line.
    void progress(double share, const std::string& label, double remainingSeconds);
    // Clears the bar so that the next line starts clean.
    void clearProgress();

    // The text of a progress bar `width` characters wide, for a share 0..1.
    static std::string barText(double share, int width);
    // "m:ss" or "h:mm:ss"; "?" for a negative time.
    static std::string clockText(double seconds);

private:
    void writeErr(const std::string& line);

    Verbosity m_verbosity;
    bool m_json;
    bool m_terminal = false;
    int m_columns = 80;
    bool m_barShown = false;
    int64_t m_lastPlainLine = -1; // milliseconds on the steady clock
    int m_lastPlainPercent = -1;
    std::mutex m_lock;
};

} // namespace cld::cli
