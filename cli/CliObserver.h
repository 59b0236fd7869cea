#pragma once

#include "Console.h"
#include "Job.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// The command line's observer of an engine job: progress on the console, one result per
// finished item, and the job's questions answered from the options, since nobody watches
// a terminal to answer them.
namespace cld::cli {

enum class OnError { Skip, Stop };

struct ObserverOptions {
    OnError onError = OnError::Skip;
    bool replaceTaken = false; // --overwrite: replace outputs whose names are taken
    std::string command;       // "convert", "decode", "rip": the results' "command" field
    // What the results call each item's input, by index; the input's path when empty.
    std::vector<std::string> itemNames;
    // With --skip-existing: whether every name in the way is a complete output of its
    // input (another process finished it after the command looked). Such names may be
    // "replaced": the worker looks again under the output's lock and writes nothing.
    std::function<bool(const std::vector<std::string>& taken)> takenAreComplete;
};

// How an item ended, in the command line's own words.
struct ItemReport {
    std::string input;
    std::string output;
    // "done", "exists" (complete already), "elsewhere" (another process writes it),
    // "failed", "stopped", "not-started".
    std::string status;
    std::string error;  // why it failed; empty otherwise
    std::string keptAs; // a cut output kept as NAME.part
    uint64_t outputBytes = 0;
};

class CliObserver : public engine::JobObserver {
public:
    CliObserver(Console& console, ObserverOptions options);

    // Items the command settled without the engine (outputs complete already); reported
    // as the engine's own ends are.
    void reportSettled(const ItemReport& report);
    // An item the engine converted but which the command knows better about (an output
    // another process had completed): `status` replaces "done" for that input.
    void overrideStatus(const std::string& input, const std::string& status);

    void itemStarted(const engine::ItemStart& start) override;
    void progress(const engine::Progress& progress) override;
    void itemEnded(const engine::ItemEnd& end) override;
    void finished(const engine::JobEnd& end) override;
    engine::Answer ask(const engine::Question& question) override;

    const std::vector<ItemReport>& reports() const { return m_reports; }
    size_t failedCount() const;
    size_t doneCount() const; // done, complete already or done elsewhere
    const engine::JobEnd& jobEnd() const { return m_end; }
    bool hasEnded() const { return m_ended; }

    // The words for a failure.
    static std::string failureText(const engine::ItemFailure& failure);
    static std::string statusOf(engine::ItemOutcome outcome);

private:
    void emit(const ItemReport& report);

    Console& m_console;
    ObserverOptions m_options;
    std::vector<ItemReport> m_reports;
    std::map<std::string, std::string> m_overrides;
    std::string m_current;
    size_t m_count = 0;
    engine::JobEnd m_end;
    bool m_ended = false;
};

} // namespace cld::cli
