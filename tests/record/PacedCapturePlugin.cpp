// A capture device for the tests: an ALSA external plug-in that delivers silence at the
// pace of a real sound card and accepts only the formats, rates and channel counts its
// configuration lists. Put under a "file" PCM with an "infile", it records that file in
// real time:
//
//   pcm_type.paced { lib "/path/to/libasound_module_pcm_paced.so" }
//   pcm.line22 {
//       type file
//       slave.pcm { type paced rates [ 22050 ] channels [ 1 ] formats [ "S16_LE" ] }
//       file "/dev/null"
//       infile "/tmp/sine.raw"
//       format "raw"
//   }
//
// "busy true" makes every open fail as a device held by another application does;
// "playback true" makes a device that refuses to capture, as playback-only plug-ins do.
// "clock true" (16-bit) delivers a signal tied to the wall clock instead of silence: a
// 1 kHz tone during the first half of every second of CLOCK_REALTIME, silence during the
// second half, so that a recording can be matched against other recordings of the same
// moments (a screen that flashes by the same clock). "latency MS" makes a device that
// starts capturing only MS milliseconds after it was started, as some sound servers and
// cards do: its first sample is of that later moment.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace {

struct Paced {
    snd_pcm_ioplug_t io{};
    int timer = -1;
    timespec started{};
    bool running = false;
    bool clock = false;
    double startedRealtime = 0; // seconds, when the capture started
    int64_t delivered = 0;      // frames handed out since the start
    int64_t latencyNs = 0;
};

int64_t elapsedNs(const timespec& from) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - from.tv_sec) * 1000000000LL + (now.tv_nsec - from.tv_nsec);
}

int pacedStart(snd_pcm_ioplug_t* io) {
    auto* p = static_cast<Paced*>(io->private_data);
    clock_gettime(CLOCK_MONOTONIC, &p->started);
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    p->startedRealtime =
        static_cast<double>(real.tv_sec) + static_cast<double>(real.tv_nsec + p->latencyNs) / 1e9;
    p->delivered = 0;
    p->running = true;
    return 0;
}

int pacedStop(snd_pcm_ioplug_t* io) {
    static_cast<Paced*>(io->private_data)->running = false;
    return 0;
}

snd_pcm_sframes_t pacedPointer(snd_pcm_ioplug_t* io) {
    auto* p = static_cast<Paced*>(io->private_data);
    if (!p->running || io->buffer_size == 0)
        return 0;
    const int64_t elapsed = elapsedNs(p->started) - p->latencyNs;
    if (elapsed < 0)
        return 0;
    const int64_t frames = elapsed * io->rate / 1000000000LL;
    return static_cast<snd_pcm_sframes_t>(frames % static_cast<int64_t>(io->buffer_size));
}

snd_pcm_sframes_t pacedTransfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    auto* p = static_cast<Paced*>(io->private_data);
    snd_pcm_areas_silence(areas, offset, io->channels, size, io->format);
    if (p->clock && io->format == SND_PCM_FORMAT_S16_LE) {
        for (snd_pcm_uframes_t k = 0; k < size; ++k) {
            const double t = p->startedRealtime +
                             static_cast<double>(p->delivered + static_cast<int64_t>(k)) / io->rate;
            const double phase = t - std::floor(t);
            const double v = phase < 0.5 ? 0.5 * std::sin(2 * M_PI * 1000 * t) : 0.0;
            const auto sample = static_cast<int16_t>(std::lround(v * 32767));
            for (unsigned c = 0; c < io->channels; ++c) {
                const snd_pcm_channel_area_t& a = areas[c];
                auto* base =
                    static_cast<uint8_t*>(a.addr) + a.first / 8 + (offset + k) * (a.step / 8);
                std::memcpy(base, &sample, sizeof sample);
            }
        }
    }
    p->delivered += static_cast<int64_t>(size);
    return static_cast<snd_pcm_sframes_t>(size);
}

int pacedPrepare(snd_pcm_ioplug_t* io) {
    static_cast<Paced*>(io->private_data)->running = false;
    return 0;
}

int pacedPollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds,
                     unsigned short* revents) {
    auto* p = static_cast<Paced*>(io->private_data);
    uint64_t ticks;
    while (read(p->timer, &ticks, sizeof ticks) > 0) {
    }
    *revents = nfds > 0 && (pfd[0].revents & POLLIN) ? POLLIN : 0;
    return 0;
}

int pacedClose(snd_pcm_ioplug_t* io) {
    auto* p = static_cast<Paced*>(io->private_data);
    if (p->timer >= 0)
        close(p->timer);
    delete p;
    return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t c{};
    c.start = pacedStart;
    c.stop = pacedStop;
    c.pointer = pacedPointer;
    c.transfer = pacedTransfer;
    c.close = pacedClose;
    c.prepare = pacedPrepare;
    c.poll_revents = pacedPollRevents;
    return c;
}();

std::vector<unsigned int> integerList(snd_config_t* node) {
    std::vector<unsigned int> values;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, node) {
        long v = 0;
        if (snd_config_get_integer(snd_config_iterator_entry(i), &v) == 0 && v > 0)
            values.push_back(static_cast<unsigned int>(v));
    }
    return values;
}

std::vector<unsigned int> formatList(snd_config_t* node) {
    std::vector<unsigned int> values;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, node) {
        const char* text = nullptr;
        if (snd_config_get_string(snd_config_iterator_entry(i), &text) == 0) {
            const snd_pcm_format_t f = snd_pcm_format_value(text);
            if (f != SND_PCM_FORMAT_UNKNOWN)
                values.push_back(static_cast<unsigned int>(f));
        }
    }
    return values;
}

} // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(paced) {
    (void)root;
    std::vector<unsigned int> rates, channels, formats;
    bool busy = false;
    bool playback = false;
    bool clock = false;
    long latencyMs = 0;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(n, &id) < 0)
            continue;
        if (!std::strcmp(id, "comment") || !std::strcmp(id, "type") || !std::strcmp(id, "hint"))
            continue;
        if (!std::strcmp(id, "rates"))
            rates = integerList(n);
        else if (!std::strcmp(id, "channels"))
            channels = integerList(n);
        else if (!std::strcmp(id, "formats"))
            formats = formatList(n);
        else if (!std::strcmp(id, "busy"))
            busy = snd_config_get_bool(n) > 0;
        else if (!std::strcmp(id, "playback"))
            playback = snd_config_get_bool(n) > 0;
        else if (!std::strcmp(id, "clock"))
            clock = snd_config_get_bool(n) > 0;
        else if (!std::strcmp(id, "latency"))
            snd_config_get_integer(n, &latencyMs);
        else
            return -EINVAL;
    }
    if (busy)
        return -EBUSY;
    if (stream != SND_PCM_STREAM_CAPTURE || playback)
        return -EINVAL;

    auto* p = new Paced;
    p->clock = clock;
    p->latencyNs = latencyMs * 1000000LL;
    p->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (p->timer < 0) {
        delete p;
        return -errno;
    }
    itimerspec every5ms{};
    every5ms.it_interval.tv_nsec = 5000000;
    every5ms.it_value.tv_nsec = 5000000;
    timerfd_settime(p->timer, 0, &every5ms, nullptr);

    p->io.version = SND_PCM_IOPLUG_VERSION;
    p->io.name = "Paced test capture";
    p->io.callback = &kCallbacks;
    p->io.private_data = p;
    p->io.poll_fd = p->timer;
    p->io.poll_events = POLLIN;
    p->io.mmap_rw = 0;
    int err = snd_pcm_ioplug_create(&p->io, name, stream, mode);
    if (err < 0) {
        close(p->timer);
        delete p;
        return err;
    }
    const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_MMAP_INTERLEAVED};
    const unsigned int anyFormat[] = {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE};
    snd_pcm_ioplug_set_param_list(&p->io, SND_PCM_IOPLUG_HW_ACCESS, 2, access);
    if (formats.empty())
        snd_pcm_ioplug_set_param_list(&p->io, SND_PCM_IOPLUG_HW_FORMAT, 2, anyFormat);
    else
        snd_pcm_ioplug_set_param_list(&p->io, SND_PCM_IOPLUG_HW_FORMAT,
                                      static_cast<unsigned int>(formats.size()), formats.data());
    if (channels.empty())
        snd_pcm_ioplug_set_param_minmax(&p->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2);
    else
        snd_pcm_ioplug_set_param_list(&p->io, SND_PCM_IOPLUG_HW_CHANNELS,
                                      static_cast<unsigned int>(channels.size()), channels.data());
    if (rates.empty())
        snd_pcm_ioplug_set_param_minmax(&p->io, SND_PCM_IOPLUG_HW_RATE, 8000, 48000);
    else
        snd_pcm_ioplug_set_param_list(&p->io, SND_PCM_IOPLUG_HW_RATE,
                                      static_cast<unsigned int>(rates.size()), rates.data());
    snd_pcm_ioplug_set_param_minmax(&p->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20);
    snd_pcm_ioplug_set_param_minmax(&p->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 256, 4 << 20);
    snd_pcm_ioplug_set_param_minmax(&p->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    *pcmp = p->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(paced)
