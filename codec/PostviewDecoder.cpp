#include "PostviewDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
}

#include <ctime>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

namespace cld {

namespace {

// A couple of seconds of pictures (a few hundred kilobytes): beyond it the decoder is
// too far behind to show what is being encoded, and it starts again at the next key
// picture.
constexpr size_t kMaxQueued = 64;
// The decoding thread's scheduling priority (a nice value) below the encoder's.
constexpr int kViewNice = 10;

int64_t cpuNanoseconds(clockid_t clock) {
    timespec t{};
    if (clock_gettime(clock, &t) != 0)
        return 0;
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

PostviewDecoder::PostviewDecoder(std::shared_ptr<WmViewCollection> views,
                                 const AVCodecParameters* par, AVRational timeBase)
    : m_views(std::move(views)), m_timeBase(timeBase) {
    if (!m_views || !par || !avcodec_find_decoder(par->codec_id))
        return;
    m_processCpuAtStart = cpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    m_par = avcodec_parameters_alloc();
    if (!m_par || avcodec_parameters_copy(m_par, par) < 0)
        return;
    try {
        m_thread = std::thread(&PostviewDecoder::work, this);
    } catch (const std::system_error&) {
        return;
    }
    m_usable = true;
}

PostviewDecoder::~PostviewDecoder() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    clear();
    avcodec_free_context(&m_dec);
    avcodec_parameters_free(&m_par);
}

void PostviewDecoder::clear() {
    for (Item& item : m_queue)
        av_packet_free(&item.pkt);
    m_queue.clear();
}

bool PostviewDecoder::overBudget() const {
    if (m_cpuShare <= 0)
        return false;
    const int64_t process = cpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID) - m_processCpuAtStart;
    return static_cast<double>(m_decodeCpu.load(std::memory_order_relaxed)) >
           m_cpuShare * static_cast<double>(process);
}

bool PostviewDecoder::wantsKeyPicture() const {
    return m_usable && !m_everKeyed && m_views->HasRunning();
}

void PostviewDecoder::push(const AVPacket* pkt) {
    if (!m_usable || !pkt)
        return;
    if (!m_views->HasRunning()) {
        m_synced = false;
        m_everKeyed = false;
        m_gap = true;
        return;
    }
    const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
    if (key) {
        // A key picture is always shown; the pictures after it only while the share of
        // the processor allows.
        m_synced = true;
        m_everKeyed = true;
    } else if (m_synced && overBudget()) {
        m_synced = false;
    }
    if (!m_synced) {
        m_gap = true;
        return;
    }
    AVPacket* ref = av_packet_clone(pkt);
    if (!ref) {
        m_synced = false;
        m_gap = true;
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= kMaxQueued && !key) {
            // Too far behind: what is queued is dropped, and the view waits for the next
            // key picture of the stream.
            clear();
            av_packet_free(&ref);
            m_synced = false;
            m_gap = true;
            return;
        }
        m_queue.push_back(Item{ref, m_gap});
        m_gap = false;
    }
    m_wake.notify_one();
}

void PostviewDecoder::finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finish = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void PostviewDecoder::work() {
    // The view yields to the encoding: on a busy machine this thread gets the time the
    // encoder leaves, falls behind, and skips to the next key picture rather than slow
    // the conversion down.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kViewNice);
    while (true) {
        Item item;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_quit || m_finish || !m_queue.empty(); });
            if (m_quit || m_queue.empty())
                return;
            item = m_queue.front();
            m_queue.pop_front();
        }
        decode(item);
        av_packet_free(&item.pkt);
        m_decodeCpu.store(cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID), std::memory_order_relaxed);
    }
}

bool PostviewDecoder::openDecoder() {
    if (m_dec)
        return true;
    if (m_decoderFailed)
        return false;
    const AVCodec* codec = avcodec_find_decoder(m_par->codec_id);
    m_dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!m_dec || avcodec_parameters_to_context(m_dec, m_par) < 0) {
        avcodec_free_context(&m_dec);
        m_decoderFailed = true;
        return false;
    }
    m_dec->thread_count = 1;
    if (avcodec_open2(m_dec, codec, nullptr) < 0) {
        avcodec_free_context(&m_dec);
        m_decoderFailed = true;
        return false;
    }
    return true;
}

void PostviewDecoder::decode(const Item& item) {
    if (!openDecoder())
        return;
    if (item.resync)
        avcodec_flush_buffers(m_dec);
    if (avcodec_send_packet(m_dec, item.pkt) < 0)
        return; // a packet the decoder refuses: the next ones may still decode
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return;
    while (avcodec_receive_frame(m_dec, frame) >= 0) {
        const int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : item.pkt->pts;
        const int64_t time =
            pts != AV_NOPTS_VALUE ? av_rescale_q(pts, m_timeBase, AVRational{1, 10'000'000}) : 0;
        m_views->Offer(frame->width, frame->height,
                       [&](int w, int h) { return m_scaler.make(frame, w, h, time); });
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
}

} // namespace cld
