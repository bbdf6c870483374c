#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace kestrow {

class TIosHelper;

// "Last running log": the program line, the device link's state and the session's log.
class TLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogForm(QWidget* parent = nullptr);

    void AppendReport(const QString& report);
    QPlainTextEdit* LogMem() const { return FLogMem; }

    // "Kestrow 2.1" CR LF "iTunes: A, connect: B, iOS: C", then CR LF and the log when a backup
    // view exists (`log` non-null).
    static QString Report(bool loaded, bool connected, bool ready, const std::string* log);

private:
    QPlainTextEdit* FLogMem = nullptr;
};

} // namespace kestrow
