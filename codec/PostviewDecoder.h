#pragma once

#include "ViewScaler.h"
#include "WmViewCollection.h"

#include <atomic>

extern "C" {
#include <libavutil/rational.h>
}

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

struct AVCodecContext;
struct AVCodecParameters;
struct AVPacket;

namespace cld {

// Decodes what the video encoder writes, for the postview, on a thread of its own, so
// that the encoder never waits for it. The encoder hands over each packet it writes
// (a reference, no copy); pictures go to the postview collection at the size and rate
// its views take them. The thread runs at a lower priority than the encoder; when the
// views stop watching, or the decoder falls too far behind, packets are dropped until the
// next key picture. With a share of the processor set, the same happens whenever the
// decoding has used more than that share of the process's processor time: a conversion
// that runs faster than real time then shows the key pictures and what follows them while
// the share allows, instead of paying for every picture it cannot show.
class PostviewDecoder {
public:
    // `par` describes the encoded stream (copied); packet times are in `timeBase`.
    PostviewDecoder(std::shared_ptr<WmViewCollection> views, const AVCodecParameters* par,
                    AVRational timeBase);
    // Ends the thread without decoding what is still queued.
    ~PostviewDecoder();
    PostviewDecoder(const PostviewDecoder&) = delete;
    PostviewDecoder& operator=(const PostviewDecoder&) = delete;

    // False when there is no decoder for the stream or the thread did not start.
    bool usable() const { return m_usable; }
    // The encoder's thread: one packet just encoded.
    void push(const AVPacket* pkt);
    // True when a view watches but has had no key picture since it began: the encoder
    // may make the next picture a key picture so that the view need not wait seconds.
    bool wantsKeyPicture() const;
    // Decodes what is queued, then ends the thread.
    void finish();
    // The most of the process's processor time the decoding may take (0.1 = a tenth);
    // 0, the default, sets no limit. Called before the first packet.
    void setCpuShare(double share) { m_cpuShare = share; }
    // The decoding thread's processor time after its last picture, in nanoseconds (0
    // before the first).
    int64_t decodeCpu() const { return m_decodeCpu.load(std::memory_order_relaxed); }

private:
    struct Item {
        AVPacket* pkt = nullptr;
        bool resync = false; // the first packet after a gap: the decoder starts afresh
    };
    void work();
    bool openDecoder();
    void decode(const Item& item);
    void clear();
    // True when the decoding has had its share of the processor (encoder's thread).
    bool overBudget() const;

    std::shared_ptr<WmViewCollection> m_views;
    AVCodecParameters* m_par = nullptr;
    AVRational m_timeBase{1, 1};
    AVCodecContext* m_dec = nullptr;
    bool m_decoderFailed = false;
    ViewScaler m_scaler;
    bool m_usable = false;

    // The encoder's thread only.
    bool m_synced = false;    // the packets since the last key picture are all queued
    bool m_everKeyed = false; // a key picture was queued since the views began watching
    bool m_gap = true;        // packets were dropped since the last queued one
    double m_cpuShare = 0;
    int64_t m_processCpuAtStart = 0; // nanoseconds

    // The decoding thread's processor time so far, in nanoseconds.
    std::atomic<int64_t> m_decodeCpu{0};

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    bool m_finish = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace cld
