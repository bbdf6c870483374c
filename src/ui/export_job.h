#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <stop_token>
#include <thread>

#include "ui/category_view.h"

namespace kestrow {

// Runs one export on a worker thread: progress and the end arrive on the UI thread as signals;
// Stop asks the run to end after the record in hand. The destructor stops and waits.
class TExportRunner : public QObject {
    Q_OBJECT
public:
    explicit TExportRunner(QObject* parent = nullptr);
    ~TExportRunner() override;

    void Start(TExportJob job);
    void Stop();
    bool Running() const { return FRunning; }
    const TExportJob& Job() const { return FJob; }
    // What ended the last run early when the core raised an error; empty otherwise.
    const QString& ErrorText() const { return FErrorText; }
    // Records done and the total of the run, as its last step gave them.
    qulonglong Done() const { return FDone; }
    qulonglong Total() const { return FTotal; }

signals:
    void Progress(qulonglong done, qulonglong total);
    void Finished(const kestrow::TExportResult& result);

private:
    void Join();

    TExportJob FJob;
    std::stop_source FStop;
    std::thread FThread;
    bool FRunning = false;
    QString FErrorText;
    std::atomic<qulonglong> FLastShown{0};
    std::atomic<qulonglong> FDone{0};
    std::atomic<qulonglong> FTotal{0};
};

} // namespace kestrow

Q_DECLARE_METATYPE(kestrow::TExportResult)
