#include "AudioInputCheck.h"
#include "CliObserver.h"
#include "Commands.h"
#include "EncoderChoice.h"
#include "ExitCode.h"
#include "FileBatch.h"
#include "InputFiles.h"
#include "Interrupt.h"
#include "LockedOutputWorker.h"
#include "SettingsRecord.h"
#include "Workers.h"

#include <filesystem>
#include <map>
#include <set>

namespace cld::cli {

namespace {

std::set<std::string> inputExtensions(bool decode) {
    std::set<std::string> extensions(cld::audioInputExtensions().begin(),
                                     cld::audioInputExtensions().end());
    // Decoding a WAVE file to WAVE would only copy it; WMA files are decoded.
    if (decode) {
        extensions.erase(".wav");
        extensions.insert(".wma");
    }
    return extensions;
}

// Whether the files of the format can carry album loudness values.
bool albumGainFits(const ConvertOptions& o, const SettingsRecord& settings, std::string& why) {
    const engine::EncoderInfo* info = engine::EncoderRegistry::instance().info(o.to);
    if (o.decode || !info || !carriesLoudness(o.to)) {
        why = "--album-gain does not apply to " + (info ? info->displayName : o.to) + " files";
        return false;
    }
    if (o.to == "mp3" && settings.mp3Id3v2Tag() == 0) {
        why = "--album-gain: the MP3 settings leave out the ID3 version 2 tag that carries the "
              "loudness values";
        return false;
    }
    return true;
}

void saveSettings(Console& console, SettingsRecord& settings, const ConvertOptions& o) {
    bool ok = true;
    if (o.jobs)
        ok = settings.setParallelJobs(*o.jobs) && ok;
    if (!o.out.empty()) {
        const std::string folder = std::filesystem::absolute(o.out).string();
        if (o.decode)
            ok = settings.setLastWAVOutFolder(folder) && ok;
        else if (o.to == "mp3")
            ok = settings.setLastMP3OutFolder(folder) && ok;
        else if (o.to == "wma")
            ok = settings.setLastWMAOutFolder(folder) && ok;
    }
    if (!ok)
        console.error("the settings could not all be saved");
}

} // namespace

int runConvert(Console& console, SettingsRecord& settings, const CommonOptions& common,
               const ConvertOptions& o) {
    const std::string command = o.decode ? "decode" : "convert";
    std::string why;
    // A setting the format's encoder does not take is a usage error, as a bad option is.
    if (!o.decode && !checkEncoderFlags(o.to, o.bitrate, o.flags, why)) {
        console.error(why);
        return kExitUsage;
    }
    if (o.albumGain && !albumGainFits(o, settings, why)) {
        console.error(why);
        return kExitUsage;
    }
    engine::WorkerFactory makeWorker = workerFactoryFor(o, settings, why);
    if (!makeWorker) {
        console.error(why);
        return kExitNothingDone;
    }
    if (common.saveSettings)
        saveSettings(console, settings, o);

    const std::string extension = outputExtension(o.to);
    const InputPlan plan =
        planInputs(o.inputs, inputExtensions(o.decode), o.recursive, o.out, extension);
    std::map<std::string, std::string> inputOf; // by output
    for (const PlannedFile& file : plan.files)
        inputOf[file.output] = file.input;
    std::function<bool(const std::vector<std::string>&)> takenAreComplete;
    if (o.skipExisting)
        takenAreComplete = [inputOf](const std::vector<std::string>& taken) {
            for (const std::string& output : taken) {
                const auto it = inputOf.find(output);
                if (it == inputOf.end() || !outputComplete(it->second, output))
                    return false;
            }
            return true;
        };
    CliObserver observer(console, {o.onError, o.overwrite, command, {}, takenAreComplete});
    for (const std::string& missing : plan.missing)
        observer.reportSettled({missing, "", "failed", "no such file or folder", "", 0});

    engine::FileBatchSpec setup;
    setup.batch = true;
    setup.replaceExisting = o.overwrite;
    setup.askAboutTakenNames = true;
    setup.askToSkip = true;
    setup.width = singleWorkerOnly(o) ? 1 : o.jobs ? *o.jobs : settings.parallelJobCount();
    setup.extension = extension;
    setup.albumGain = o.albumGain;
    for (const PlannedFile& file : plan.files) {
        if (o.skipExisting && outputComplete(file.input, file.output)) {
            observer.reportSettled({file.input, file.output, "exists", "", "", 0});
            continue;
        }
        std::error_code ec;
        const auto folder = std::filesystem::path(file.output).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);
        setup.inputs.push_back(file.input);
        setup.outputs.push_back(file.output);
    }

    size_t albumGainFailed = 0;
    if (!setup.inputs.empty() && !interrupted()) {
        const bool skipExisting = o.skipExisting;
        engine::WorkerFactory locked = [makeWorker, skipExisting, &observer]() {
            return std::make_unique<LockedOutputWorker>(
                makeWorker(), skipExisting,
                [&observer](const std::string& input, const std::string& status) {
                    observer.overrideStatus(input, status);
                });
        };
        const std::vector<std::string> inputs = setup.inputs;
        const std::vector<std::string> outputs = setup.outputs;
        engine::FileBatch batch(std::move(setup), locked);
        engine::JobEnd end;
        {
            RunningJobScope running(batch);
            end = batch.run(observer);
        }
        console.clearProgress();
        for (const std::string& file : batch.albumGainFailed())
            console.error("the album's loudness values could not be added to " + file);
        albumGainFailed = batch.albumGainFailed().size();
        // Items the job never reached get a result line too.
        std::set<std::string> reported;
        for (const ItemReport& r : observer.reports())
            reported.insert(r.input);
        for (size_t i = 0; i < inputs.size(); ++i)
            if (!reported.count(inputs[i]))
                observer.reportSettled({inputs[i], outputs[i], "not-started", "", "", 0});
    }

    const size_t failed = observer.failedCount();
    const size_t done = observer.doneCount();
    size_t exists = 0;
    for (const ItemReport& r : observer.reports())
        exists += r.status == "exists" || r.status == "elsewhere" ? 1 : 0;
    console.note(std::to_string(done - std::min(done, exists)) + " converted, " +
                 std::to_string(exists) + " complete already or elsewhere, " +
                 std::to_string(failed) + " failed");
    if (interrupted())
        return kExitInterrupted;
    if (observer.reports().empty()) {
        console.error("no input files");
        return kExitNothingDone;
    }
    if (failed > 0)
        return done == 0 ? kExitNothingDone : kExitSomeFailed;
    size_t notDone = 0;
    for (const ItemReport& r : observer.reports())
        notDone += r.status == "not-started" || r.status == "stopped" ? 1 : 0;
    return notDone > 0 || albumGainFailed > 0 ? kExitSomeFailed : kExitDone;
}

} // namespace cld::cli
