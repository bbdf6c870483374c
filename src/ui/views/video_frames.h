#pragma once

#include <QImage>
#include <QObject>
#include <deque>
#include <functional>
#include <memory>

#include "platform/file_io.h"

namespace kestrow {

// First frames of videos through Qt Multimedia's player, which reads and decodes on threads of its
// own: at most two videos at a time, the rest queued. A video that shows no frame within a short
// wait (no decoder for it, a damaged file) gives a null picture, so the caller falls back to an icon.
// Either way the caller learns the video's duration when the player has found it.
class TVideoFrames : public QObject {
    Q_OBJECT
public:
    static constexpr int kWaitMs = 3000;
    // The first frame (null without one) and the duration in milliseconds (0 when unknown).
    using TDone = std::function<void(const QImage& frame, qint64 durationMs)>;

    explicit TVideoFrames(QObject* parent);

    // The first frame of the video in the open file `video` (kept open until the player is gone),
    // fitted into `side` x `side`; `done` runs on this object's thread. A `kept` request goes first,
    // in place of a kept one still waiting, and is not forgotten by Clear.
    void Request(std::shared_ptr<TFileHandle> video, int side, TDone done, bool kept = false);
    // Forgets the requests not started, but the kept ones.
    void Clear();

private:
    struct TRequest {
        std::shared_ptr<TFileHandle> Video;
        int Side = 0;
        TDone Done;
        bool Kept = false;
    };
    void StartNext();
    void Start(TRequest request);

    std::deque<TRequest> FQueue;
    int FRunning = 0;
};

} // namespace kestrow
