#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace kestrow {

// Backup texts are untrusted bytes: invalid UTF-8 becomes U+FFFD, never a crash or lost text.
QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);

// The search's form of a text: case folded, accents dropped ("Término" and "TERMINO" both become
// "termino"), so a search ignores case and accents.
QString SearchKey(const QString& text);
// Whether backup text `text` contains `key` (a SearchKey); an empty key matches nothing.
bool MatchesSearch(const std::string& text, const QString& key);

// A message text with "\r" line breaks as Qt shows them.
QString MessageText(const QString& text);

// Modal messages with plain text only (backup texts never become markup). Each returns the button
// that closed the box.
QMessageBox::StandardButton ShowInformation(QWidget* parent, const QString& text);
QMessageBox::StandardButton ShowWarning(QWidget* parent, const QString& text);
// OK and Cancel; true for OK.
bool AskOkCancel(QWidget* parent, const QString& text);

// Calls into the core from a slot: an exception never leaves the slot; it is shown as a warning.
bool Guarded(QWidget* parent, const std::function<void()>& call);

} // namespace kestrow
