#pragma once

#include <QDialog>
#include <stop_token>
#include <thread>

class QPlainTextEdit;

namespace kestrow {

class TIpodBackup;

// "Check backup": the integrity check of the open backup, run on a thread of its own while the
// dialog shows "Checking ..."; then the same report as `kestrow-cli check`. The dialog is modal,
// so the session is not touched by anything else while the check reads it.
class TCheckForm : public QDialog {
    Q_OBJECT
public:
    TCheckForm(TIpodBackup& session, QWidget* parent = nullptr);
    ~TCheckForm() override; // stops and joins the check

    QPlainTextEdit* ReportMem() const { return FReportMem; }

private:
    QPlainTextEdit* FReportMem = nullptr;
    std::jthread FWorker;
};

} // namespace kestrow
