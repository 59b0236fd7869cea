// Reading calderine's command line: the subcommands, their options and the usage.

#include "ExitCode.h"
#include "Invocation.h"
#include "ProductIdentity.h"
#include "SettingsRecord.h"

#include <CLI/CLI.hpp>
#include <cstdio>

namespace cld::cli {

namespace {

std::string versionText() {
    return std::string("calderine ") + cld::identity::kDisplayVersion + " (" +
           cld::identity::kProduct + ")";
}

void addRunOptions(CLI::App* sub, ConvertOptions& o, std::string& onError) {
    sub->add_option("--out,-o", o.out, "Folder for the outputs (default: beside each input)");
    sub->add_option("--jobs,-j", o.jobs, "Files converted at once (default: the setting)")
        ->check(CLI::Range(1, SettingsRecord::kMaxParallelJobs));
    sub->add_flag("--recursive,-r", o.recursive, "Take the files of subfolders too");
    sub->add_flag("--skip-existing", o.skipExisting,
                  "Leave out inputs whose output is complete already");
    sub->add_flag("--overwrite", o.overwrite,
                  "Replace outputs whose names are taken (default: number the new ones)");
    sub->add_option("--on-error", onError, "After a failed file: skip it or stop")
        ->check(CLI::IsMember({"skip", "stop"}));
    sub->add_option("inputs", o.inputs, "Files and folders")->required();
}

// The encoders' own settings; which format takes which is checked once the format is known.
void addEncoderOptions(CLI::App* sub, EncoderFlags& flags) {
    sub->add_option("--quality", flags.quality, "Ogg Vorbis quality -1..10 (MP3: 0 best..9)");
    sub->add_option("--level", flags.level, "FLAC compression level 0..8")->check(CLI::Range(0, 8));
    sub->add_option("--bitrate-mode", flags.bitrateMode, "Opus: vbr, cvbr or cbr")
        ->check(CLI::IsMember({"vbr", "cvbr", "cbr"}));
    sub->add_flag("--no-cover", flags.noCover, "No cover picture inside the files");
}

} // namespace

int readCommandLine(int argc, char** argv, Invocation& invocation) {
    CLI::App app{"Rips audio CDs and converts audio files, without a window.", "calderine"};
    app.set_version_flag("--version", versionText());
    app.require_subcommand(1);
    app.fallthrough();

    CommonOptions& common = invocation.common;
    app.add_flag("--quiet,-q", common.quiet, "No progress, only results and errors");
    app.add_flag("--verbose,-v", common.verbose, "Say more about each item");
    app.add_flag("--json", common.json, "One JSON object per finished item on standard output");
    app.add_flag("--save-settings", common.saveSettings,
                 "Keep the settings given on the command line for the next runs");

    ConvertOptions convert;
    std::string convertOnError = "skip";
    CLI::App* convertCmd = app.add_subcommand(
        "convert", "Convert audio files to MP3, FLAC, Opus, Ogg Vorbis, AAC, WMA or WAV");
    convertCmd->add_option("--to,-t", convert.to, "Output format")
        ->check(CLI::IsMember(outputFormats()));
    auto* bitrateOpt =
        convertCmd
            ->add_option("--bitrate,-b", convert.bitrate, "Bit rate in kbit/s (MP3, Opus, AAC)")
            ->check(CLI::Range(1, 2000));
    convertCmd->add_option("--profile,-p", convert.profile, "WMA profile (name or file)")
        ->excludes(bitrateOpt);
    addEncoderOptions(convertCmd, convert.flags);
    convertCmd->add_flag("--album-gain", convert.albumGain,
                         "The files of each output folder are one album: album loudness values");
    addRunOptions(convertCmd, convert, convertOnError);

    ConvertOptions decode;
    decode.decode = true;
    decode.to = "wav";
    std::string decodeOnError = "skip";
    CLI::App* decodeCmd =
        app.add_subcommand("decode", "Decode MP3, WMA and other audio files to WAV");
    addRunOptions(decodeCmd, decode, decodeOnError);

    RipOptions rip;
    std::string ripOnError = "skip";
    CLI::App* ripCmd = app.add_subcommand("rip", "Rip an audio CD with its log and cue sheet");
    ripCmd->add_option("--drive,-d", rip.drive, "Drive number or name (see 'devices')");
    ripCmd->add_option("--format,-f", rip.format, "Track files")
        ->check(CLI::IsMember(outputFormats()));
    ripCmd->add_option("--tracks", rip.tracks, "Tracks to rip, such as 1-3,7 (default: all)");
    ripCmd->add_option("--names", rip.names, "Where the disc's names come from")
        ->check(CLI::IsMember({"musicbrainz", "cddb", "cache", "none"}));
    ripCmd->add_option("--offset", rip.offset, "Read offset of the drive in samples")
        ->check(CLI::Range(-SettingsRecord::kMaxReadOffset, SettingsRecord::kMaxReadOffset));
    auto* ripBitrate =
        ripCmd->add_option("--bitrate,-b", rip.bitrate, "Bit rate in kbit/s (MP3, Opus, AAC)")
            ->check(CLI::Range(1, 2000));
    ripCmd->add_option("--profile,-p", rip.profile, "WMA profile (name or file)")
        ->excludes(ripBitrate);
    addEncoderOptions(ripCmd, rip.flags);
    ripCmd->add_option("--out,-o", rip.out, "Folder for the disc's files (default: current)");
    ripCmd->add_flag("--overwrite", rip.overwrite, "Replace files whose names are taken");
    ripCmd->add_option("--on-error", ripOnError, "After a track that fails: skip it or stop")
        ->check(CLI::IsMember({"skip", "stop"}));
    ripCmd->add_flag("--test-and-copy", rip.testAndCopy,
                     "Read every track twice and compare the two reads");
    ripCmd->add_flag("--hidden-track", rip.hiddenTrack,
                     "Rip audio hidden before track 1 as track 0 (HTOA)");
    ripCmd->add_flag("--replay-gain", rip.replayGain,
                     "Track and album loudness values in the files (the disc is one album)");
    ripCmd->add_flag("--no-gap-detection", rip.noGapDetection,
                     "Do not read pregaps, ISRCs and the catalogue number from the sub-channel");

    std::vector<std::string> verifyInputs;
    CLI::App* verifyCmd = app.add_subcommand(
        "verify", "Check an existing rip against its log and the AccurateRip database");
    verifyCmd->add_option("rip", verifyInputs, "RIP.cue, RIP.log or the rip's folder")->required();

    InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand("info", "What the program knows of a file or a disc");
    auto* infoFile = infoCmd->add_option("file", info.file, "A media file");
    auto* infoDrive =
        infoCmd->add_option("--drive,-d", info.drive, "Drive number or name")->excludes(infoFile);
    infoFile->excludes(infoDrive);

    CLI::App* devicesCmd = app.add_subcommand("devices", "List CD drives and recording devices");

    try {
        app.parse(argc, argv);
        if (infoCmd->parsed() && info.file.empty() && !info.drive)
            throw CLI::RequiredError("info: a FILE or --drive");
        if (common.quiet && common.verbose)
            throw CLI::ExcludesError("--quiet", "--verbose");
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "calderine: %s\nTry 'calderine --help' for more.\n", e.what());
        return kExitUsage;
    }

    auto onError = [](const std::string& text) {
        return text == "stop" ? OnError::Stop : OnError::Skip;
    };
    if (convertCmd->parsed()) {
        convert.onError = onError(convertOnError);
        invocation.command = Invocation::Command::Convert;
        invocation.convert = convert;
    } else if (decodeCmd->parsed()) {
        decode.onError = onError(decodeOnError);
        invocation.command = Invocation::Command::Decode;
        invocation.convert = decode;
    } else if (ripCmd->parsed()) {
        rip.onError = onError(ripOnError);
        std::set<int> tracks;
        std::string why;
        if (!rip.tracks.empty() && !parseTrackList(rip.tracks, tracks, why)) {
            std::fprintf(stderr, "calderine: --tracks: %s\n", why.c_str());
            return kExitUsage;
        }
        invocation.command = Invocation::Command::Rip;
        invocation.rip = rip;
    } else if (verifyCmd->parsed()) {
        invocation.command = Invocation::Command::Verify;
        invocation.verify = verifyInputs;
    } else if (infoCmd->parsed()) {
        invocation.command = Invocation::Command::Info;
        invocation.info = info;
    } else if (devicesCmd->parsed()) {
        invocation.command = Invocation::Command::Devices;
    } else {
        return kExitUsage;
    }
    return -1;
}

} // namespace cld::cli
