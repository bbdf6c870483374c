#include "ui/export_job.h"

namespace kestrow {

TExportRunner::TExportRunner(QObject* parent) : QObject(parent) {
    qRegisterMetaType<kestrow::TExportResult>();
}

TExportRunner::~TExportRunner() {
    Stop();
    Join();
}

void TExportRunner::Start(TExportJob job) {
    Join();
    FJob = std::move(job);
    FStop = std::stop_source();
    FRunning = true;
    FLastShown = 0;
    FDone = 0;
    FTotal = 0;
    TExportControl control;
    control.Stop = FStop.get_token();
    control.Step = [this](std::size_t done, std::size_t total) {
        FDone = done;
        FTotal = total;
        // At most about 200 updates per run: a million records must not flood the UI thread.
        const qulonglong stride = total / 200 + 1;
        if (done == total || done / stride != FLastShown / stride) {
            FLastShown = done;
            emit Progress(done, total);
        }
    };
    FErrorText.clear();
    FThread = std::thread([this, control] {
        TExportResult result;
        QString error;
        try {
            result = FJob.Run(control);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, result, error] {
                Join();
                FRunning = false;
                FErrorText = error;
                emit Finished(result);
            },
            Qt::QueuedConnection);
    });
}

void TExportRunner::Stop() {
    FStop.request_stop();
}

void TExportRunner::Join() {
    if (FThread.joinable()) {
        FThread.join();
    }
}

} // namespace kestrow
