#include "ui/check_form.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>

#include "archive/backup_check.h"
#include "export/check_report.h"
#include "ui/qt_text.h"

namespace kestrow {

TCheckForm::TCheckForm(TIpodBackup& session, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Check backup"));
    setObjectName(QStringLiteral("CheckForm"));
    FReportMem = new QPlainTextEdit(this); // plain text: keys are backup texts
    FReportMem->setObjectName(QStringLiteral("ReportMem"));
    FReportMem->setReadOnly(true);
    FReportMem->setLineWrapMode(QPlainTextEdit::NoWrap);
    FReportMem->setPlainText(QStringLiteral("Checking the backup ..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FReportMem);
    resize(560, 433);
    FWorker = std::jthread([this, &session](std::stop_token stop) {
        const TCheckResult result = TBackupCheck(session).Run(false, {}, stop);
        if (stop.stop_requested()) {
            return;
        }
        const QString text =
            ToQString(CheckReportText(result, [](std::string_view value) { return std::string(value); }));
        // Posted: the destructor joins this thread before the dialog is gone.
        QMetaObject::invokeMethod(
            this, [this, text] { FReportMem->setPlainText(text); }, Qt::QueuedConnection);
    });
}

TCheckForm::~TCheckForm() {
    FWorker.request_stop();
    if (FWorker.joinable()) {
        FWorker.join();
    }
}

} // namespace kestrow
