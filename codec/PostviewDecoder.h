#pragma once

#include "ViewScaler.h"
#include "WmViewCollection.h"

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
// next key picture.
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

private:
    struct Item {
        AVPacket* pkt = nullptr;
        bool resync = false; // the first packet after a gap: the decoder starts afresh
    };
    void work();
    bool openDecoder();
    void decode(const Item& item);
    void clear();

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

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    bool m_finish = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace cld
