#include "ui/log_form.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/app_info.h"
#include "ui/qt_text.h"

namespace kestrow {

namespace {

QString TrueFalse(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

TLogForm::TLogForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Last running log"));
    setObjectName(QStringLiteral("LogForm"));
    FLogMem = new QPlainTextEdit(this); // plain text: log lines hold backup texts
    FLogMem->setObjectName(QStringLiteral("LogMem"));
    FLogMem->setReadOnly(true);
    FLogMem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FLogMem->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FLogMem);
    setFixedSize(507, 433);
}

void TLogForm::AppendReport(const QString& report) {
    // CR LF separates the lines of the report; the memo wants plain line feeds.
    QString text = report;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    FLogMem->setPlainText(FLogMem->toPlainText() + text);
}

QString TLogForm::Report(bool loaded, bool connected, bool ready, const std::string* log) {
    QString report = TAppInfo::Caption() + QStringLiteral("\r\niTunes: ") + TrueFalse(loaded) +
                     QStringLiteral(", connect: ") + TrueFalse(connected) + QStringLiteral(", iOS: ") +
                     TrueFalse(ready);
    if (log != nullptr) {
        report += QStringLiteral("\r\n") + ToQString(*log);
    }
    return report;
}

} // namespace kestrow
