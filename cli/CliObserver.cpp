#include "CliObserver.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace cld::cli {

CliObserver::CliObserver(Console& console, ObserverOptions options)
    : m_console(console), m_options(std::move(options)) {}

std::string CliObserver::statusOf(engine::ItemOutcome outcome) {
    switch (outcome) {
    case engine::ItemOutcome::Converted:
        return "done";
    case engine::ItemOutcome::Failed:
        return "failed";
    case engine::ItemOutcome::Skipped:
        // Failed, and the batch went on (--on-error skip).
        return "failed";
    case engine::ItemOutcome::Stopped:
        return "stopped";
    case engine::ItemOutcome::NotStarted:
        return "not-started";
    }
    return "failed";
}

std::string CliObserver::failureText(const engine::ItemFailure& failure) {
    std::string text;
    switch (failure.what) {
    case engine::Failure::None:
        text = "failed";
        break;
    case engine::Failure::InputUnreadable:
        text = "cannot read the input (not audio this program reads)";
        break;
    case engine::Failure::InputBroken:
        text = "the input is damaged";
        break;
    case engine::Failure::OutputNotCreated:
        text = "cannot create the output";
        break;
    case engine::Failure::WriteFailed:
        text = failure.diskFull ? "the disk is full" : "writing the output failed";
        break;
    case engine::Failure::EncoderRefused:
        text = "the encoder refused the settings or failed";
        break;
    case engine::Failure::NotStarted:
        text = "the conversion could not start";
        break;
    case engine::Failure::ReadFailed:
        text = "the disc could not be read";
        break;
    case engine::Failure::NoRipper:
        text = "no ripper library or no drive";
        break;
    case engine::Failure::NameTaken:
        text = "the output's name is taken";
        break;
    }
    if (!failure.reason.empty())
        text += ": " + failure.reason;
    if (failure.code != 0)
        text += " (code " + std::to_string(failure.code) + ")";
    return text;
}

void CliObserver::itemStarted(const engine::ItemStart& start) {
    m_count = start.count;
    const std::string input =
        start.index < m_options.itemNames.size() ? m_options.itemNames[start.index] : start.input;
    m_current = std::filesystem::path(input).filename().string();
    m_console.detail("[" + std::to_string(start.index + 1) + "/" + std::to_string(start.count) +
                     "] " + input + " -> " + start.output);
}

void CliObserver::progress(const engine::Progress& progress) {
    std::string label = std::to_string(std::min(progress.itemsDone + 1, progress.count)) + "/" +
                        std::to_string(progress.count);
    if (!m_current.empty())
        label += " " + m_current;
    m_console.progress(progress.share, label, progress.remaining);
}

void CliObserver::itemEnded(const engine::ItemEnd& end) {
    ItemReport report;
    report.input =
        end.index < m_options.itemNames.size() ? m_options.itemNames[end.index] : end.input;
    report.output = end.output;
    report.status = statusOf(end.outcome);
    if (end.outcome == engine::ItemOutcome::Converted) {
        if (auto it = m_overrides.find(end.input); it != m_overrides.end())
            report.status = it->second;
    } else if (end.failure.what != engine::Failure::None) {
        report.error = failureText(end.failure);
    }
    report.keptAs = end.keptAs;
    report.outputBytes = end.outputBytes;
    emit(report);
}

void CliObserver::reportSettled(const ItemReport& report) {
    emit(report);
}

void CliObserver::overrideStatus(const std::string& input, const std::string& status) {
    m_overrides[input] = status;
}

void CliObserver::emit(const ItemReport& report) {
    m_reports.push_back(report);
    nlohmann::ordered_json object = {{"command", m_options.command},
                                     {"input", report.input},
                                     {"output", report.output},
                                     {"status", report.status}};
    if (!report.error.empty())
        object["error"] = report.error;
    if (!report.keptAs.empty())
        object["kept_as"] = report.keptAs;
    if (report.status == "done")
        object["bytes"] = report.outputBytes;
    std::string text = report.status + "\t" + report.input;
    if (!report.output.empty())
        text += "\t" + report.output;
    if (!report.error.empty())
        text += "\t" + report.error;
    m_console.result(object, text);
    if (report.status == "failed")
        m_console.error(report.input + ": " + report.error);
}

void CliObserver::finished(const engine::JobEnd& end) {
    m_console.clearProgress();
    m_end = end;
    m_ended = true;
}

engine::Answer CliObserver::ask(const engine::Question& question) {
    switch (question.kind) {
    case engine::QuestionKind::TakenNames:
        if (m_options.takenAreComplete && m_options.takenAreComplete(question.taken)) {
            m_console.detail(std::to_string(question.taken.size()) +
                             " output(s) were completed meanwhile");
            return engine::Answer::Replace;
        }
        if (m_options.replaceTaken) {
            m_console.detail("replacing " + std::to_string(question.taken.size()) +
                             " output(s) whose names are taken");
            return engine::Answer::Replace;
        }
        m_console.note(std::to_string(question.taken.size()) +
                       " output name(s) taken: the new outputs get numbered names "
                       "(--overwrite replaces them)");
        return engine::Answer::KeepBoth;
    case engine::QuestionKind::SkipFailed:
        return m_options.onError == OnError::Skip ? engine::Answer::Skip : engine::Answer::Stop;
    }
    return engine::Answer::Stop;
}

size_t CliObserver::failedCount() const {
    size_t n = 0;
    for (const ItemReport& r : m_reports)
        n += r.status == "failed" ? 1 : 0;
    return n;
}

size_t CliObserver::doneCount() const {
    size_t n = 0;
    for (const ItemReport& r : m_reports)
        n += r.status == "done" || r.status == "exists" || r.status == "elsewhere" ? 1 : 0;
    return n;
}

} // namespace cld::cli
