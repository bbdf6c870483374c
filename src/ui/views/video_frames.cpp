#include "ui/views/video_frames.h"

#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace kestrow {

namespace {

constexpr int kMaxRunning = 2;

} // namespace

TVideoFrames::TVideoFrames(QObject* parent) : QObject(parent) {}

void TVideoFrames::Request(std::shared_ptr<TFileHandle> video, int side, TDone done, bool kept) {
    TRequest request{std::move(video), side, std::move(done), kept};
    if (kept) {
        std::erase_if(FQueue, [](const TRequest& waiting) { return waiting.Kept; }); // an earlier preview's
        FQueue.push_front(std::move(request));
    } else {
        FQueue.push_back(std::move(request));
    }
    StartNext();
}

void TVideoFrames::Clear() {
    std::erase_if(FQueue, [](const TRequest& request) { return !request.Kept; });
}

void TVideoFrames::StartNext() {
    while (FRunning < kMaxRunning && !FQueue.empty()) {
        TRequest request = std::move(FQueue.front());
        FQueue.pop_front();
        Start(std::move(request));
    }
}

void TVideoFrames::Start(TRequest request) {
    ++FRunning;
    auto* player = new QMediaPlayer(this);
    auto* sink = new QVideoSink(player);
    player->setVideoSink(sink); // no audio output: nothing is heard
    // The player reads the file by name; the open handle's name works for backup files and for the
    // unnamed copies of encrypted ones alike.
    const QUrl source = QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(request.Video->Fd()));
    connect(player, &QObject::destroyed, this, [video = request.Video] {});
    auto finished = std::make_shared<bool>(false);
    const auto finish = [this, player, finished, done = std::move(request.Done)](const QImage& image) {
        if (*finished) {
            return;
        }
        *finished = true;
        const qint64 duration = player->duration();
        player->stop();
        player->deleteLater();
        --FRunning;
        done(image, duration);
        StartNext();
    };
    connect(sink, &QVideoSink::videoFrameChanged, player,
            [finish, side = request.Side](const QVideoFrame& frame) {
                const QImage image = frame.isValid() ? frame.toImage() : QImage();
                if (!image.isNull()) {
                    finish(image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
                }
            });
    connect(player, &QMediaPlayer::errorOccurred, player, [finish] { finish({}); });
    connect(player, &QMediaPlayer::mediaStatusChanged, player, [finish](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::InvalidMedia || status == QMediaPlayer::EndOfMedia) {
            finish({});
        }
    });
    QTimer::singleShot(kWaitMs, player, [finish] { finish({}); });
    player->setSource(source);
    player->play();
}

} // namespace kestrow
