#include "Workers.h"

#include "AudioInputCheck.h"
#include "CRegistry.h"
#include "CliSettings.h"
#include "EncoderChoice.h"
#include "FileWorkers.h"
#include "GenreList.h"
#include "Mp3Bitrates.h"
#include "RegistryStore.h"
#include "RipperLibrary.h"
#include "SettingsRecord.h"
#include "TranscodeWorker.h"
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmaEncodeJob.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace cld::cli {

namespace {

// One worker place over several kinds of worker: each file goes to the kind its name
// calls for (an MP3 to the MP3 decoder, say), made when first needed.
class DispatchWorker : public engine::FileWorker {
public:
    using Kind = std::string;
    using KindOf = std::function<Kind(const std::string& input)>;
    using Make = std::function<std::unique_ptr<engine::FileWorker>(const Kind&)>;

    DispatchWorker(KindOf kindOf, Make make, std::shared_ptr<void> keepAlive)
        : m_keepAlive(std::move(keepAlive)), m_kindOf(std::move(kindOf)), m_make(std::move(make)) {}

    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override {
        const Kind kind = m_kindOf(input);
        auto& worker = m_workers[kind];
        if (!worker)
            worker = m_make(kind);
        m_current = worker.get();
        return m_current->begin(input, output, replaceExisting);
    }
    bool isBusy() const override { return m_current && m_current->isBusy(); }
    void stop() override {
        if (m_current)
            m_current->stop();
    }
    engine::ItemOutcome end(engine::ItemFailure& failure) override {
        return m_current ? m_current->end(failure) : engine::ItemOutcome::NotStarted;
    }
    int position() const override { return m_current ? m_current->position() : 0; }
    int upper() const override { return m_current ? m_current->upper() : 100; }
    bool hasCounters() const override { return m_current && m_current->hasCounters(); }
    uint64_t bytesDone() const override { return m_current ? m_current->bytesDone() : 0; }
    uint64_t samplesDone() const override { return m_current ? m_current->samplesDone() : 0; }
    std::unique_ptr<LoudnessMeter> takeLoudness() override {
        return m_current ? m_current->takeLoudness() : nullptr;
    }

private:
    // What the workers use (a media encoder) goes after them.
    std::shared_ptr<void> m_keepAlive;
    KindOf m_kindOf;
    Make m_make;
    std::map<Kind, std::unique_ptr<engine::FileWorker>> m_workers;
    engine::FileWorker* m_current = nullptr;
};

engine::Mp3EncodeSettings mp3Settings(const SettingsRecord& settings, std::optional<int> bitrate) {
    engine::Mp3EncodeSettings s;
    s.params = mp3ParamsFromSettings(settings, bitrate.value_or(storedMp3Bitrate(settings)));
    s.id3v2 = settings.mp3Id3v2Tag() != 0;
    s.replayGain = s.id3v2 && settings.mp3ReplayGain() != 0;
    auto genres = std::make_shared<GenreList>();
    genres->buildGenreList();
    s.genreNumberOf = [genres](const std::string& genre) {
        for (int i = 0; i < genres->genreCount(); ++i) {
            const std::string name = genres->genreName(i);
            if (name.size() == genre.size() &&
                std::equal(name.begin(), name.end(), genre.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return i;
        }
        return 255;
    };
    return s;
}

// The folder of the user's own media profiles, as the media tools recorded it; read only
// when the machine's store exists.
std::string userProfileFolder() {
    std::error_code ec;
    if (!std::filesystem::exists(cld::RegistryStore::fileForRoot(HKEY_CLASSES_ROOT), ec))
        return {};
    CRegistry reg;
    std::string folder;
    if (reg.ConnectRoot(HKEY_CLASSES_ROOT) &&
        reg.OpenKey(SettingsRecord::kMediaProfileFolderKeyPath, KEY_READ))
        reg.ReadString("", folder);
    return folder;
}

// The media encoder with the profile the options name (a name, any case, or a file), or
// the stored choice of the WMA dialogs.
std::shared_ptr<WmaEncodeJob> wmaEncoder(const ConvertOptions& o, const SettingsRecord& settings,
                                         std::string& why) {
    auto control =
        std::make_unique<WmEncoderControl>(programFolder() + "profiles", userProfileFolder());
    std::vector<std::pair<std::string, int>> profiles; // audio profiles: name, position
    try {
        const int count = control->GetProfileCount();
        for (int i = 0; i < count; ++i) {
            const WmProfileInfo info = control->GetProfileInfo(i);
            if (info.audioStreams > 0 && info.videoStreams == 0 && info.scriptStreams == 0)
                profiles.emplace_back(info.name, i);
        }
    } catch (const WMException& e) {
        why = "the WMA profiles cannot be read (code " + std::to_string(e.GetCode()) + ")";
        return nullptr;
    }
    if (profiles.empty()) {
        why = "there is no WMA audio profile";
        return nullptr;
    }
    int position = -1;
    if (o.profile.empty()) {
        const int stored = settings.lastWMAProfileIndex();
        position = profiles[stored >= 0 && static_cast<size_t>(stored) < profiles.size()
                                ? static_cast<size_t>(stored)
                                : 0]
                       .second;
    } else {
        auto lower = [](std::string t) {
            std::transform(t.begin(), t.end(), t.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return t;
        };
        const std::string wanted = lower(o.profile);
        for (const auto& [name, pos] : profiles)
            if (lower(name) == wanted ||
                lower(name) == lower(std::filesystem::path(o.profile).stem().string()))
                position = pos;
        if (position < 0) {
            why = "no WMA profile is called '" + o.profile + "'; the profiles are:";
            for (const auto& p : profiles)
                why += "\n  " + p.first;
            return nullptr;
        }
    }
    auto job = std::make_shared<WmaEncodeJob>(std::move(control));
    job->SetProfileIndex(position);
    return job;
}

} // namespace

engine::WorkerFactory workerFactoryFor(const ConvertOptions& o, SettingsRecord& settings,
                                       std::string& why) {
    if (o.decode) {
        // MP3 and WMA through the decoders the dialogs use, the rest through the engine's
        // transcoder.
        auto kindOf = [](const std::string& input) {
            const std::string ext = lowerExtension(input);
            return ext == ".mp3" || ext == ".wma" ? ext : std::string("other");
        };
        auto make = [](const std::string& kind) -> std::unique_ptr<engine::FileWorker> {
            if (kind == ".mp3")
                return std::make_unique<engine::Mp3DecodeWorker>();
            if (kind == ".wma")
                return std::make_unique<engine::WmaDecodeWorker>();
            return std::make_unique<engine::TranscodeWorker>("wav");
        };
        return [kindOf, make] { return std::make_unique<DispatchWorker>(kindOf, make, nullptr); };
    }
    // The flags are checked against the encoder the format names, whichever worker runs it.
    EncoderChoice choice;
    if (!chooseEncoder(o.to, settings, o.bitrate, o.profile, o.flags, choice, why))
        return {};
    if (o.to == "mp3") {
        engine::Mp3EncodeSettings s = mp3Settings(settings, o.bitrate);
        if (!o.flags.quality.empty())
            s.params.quality = std::stoi(o.flags.quality);
        s.replayGain = s.replayGain || o.albumGain;
        return [s] { return std::make_unique<engine::Mp3EncodeWorker>(s); };
    }
    if (o.to == "wma") {
        std::shared_ptr<WmaEncodeJob> job = wmaEncoder(o, settings, why);
        if (!job)
            return {};
        // One media encoder serves the batch, one file at a time.
        return [job] {
            auto kindOf = [](const std::string&) { return std::string("wma"); };
            WmaEncodeJob* encoder = job.get();
            auto make = [encoder](const std::string&) -> std::unique_ptr<engine::FileWorker> {
                return std::make_unique<engine::WmaEncodeWorker>(*encoder);
            };
            return std::make_unique<DispatchWorker>(kindOf, make, job);
        };
    }
    // Every format with loudness values gets them when the ReplayGain setting is on.
    const bool measure = o.albumGain || (settings.mp3ReplayGain() != 0 && carriesLoudness(o.to));
    return [choice, measure] {
        auto worker = std::make_unique<engine::TranscodeWorker>(choice.name, choice.options);
        worker->setMeasureLoudness(measure);
        return worker;
    };
}

bool singleWorkerOnly(const ConvertOptions& o) {
    return !o.decode && o.to == "wma";
}

} // namespace cld::cli
