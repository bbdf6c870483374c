#include "ui/qt_text.h"

#include <QApplication>
#include <exception>

#include "ui/app_info.h"

namespace kestrow {

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text) {
    return text.toStdString();
}

QString SearchKey(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString key;
    key.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing) {
            key += c;
        }
    }
    return key.toCaseFolded();
}

bool MatchesSearch(const std::string& text, const QString& key) {
    return !key.isEmpty() && SearchKey(ToQString(text)).contains(key);
}

QString MessageText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

namespace {

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, TAppInfo::ProductName(), MessageText(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

QMessageBox::StandardButton ShowInformation(QWidget* parent, const QString& text) {
    return ShowBox(parent, QMessageBox::Information, text, QMessageBox::Ok);
}

QMessageBox::StandardButton ShowWarning(QWidget* parent, const QString& text) {
    return ShowBox(parent, QMessageBox::Warning, text, QMessageBox::Ok);
}

bool AskOkCancel(QWidget* parent, const QString& text) {
    return ShowBox(parent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

bool Guarded(QWidget* parent, const std::function<void()>& call) {
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        ShowWarning(parent, ToQString(e.what()));
    } catch (...) {
        ShowWarning(parent, QStringLiteral("Unexpected error."));
    }
    return false;
}

} // namespace kestrow
