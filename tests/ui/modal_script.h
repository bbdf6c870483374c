#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace kestrow::test {

// Answers the modal windows a flow opens, in order: each step waits until a modal window is on
// screen and returns true once it has dealt with it. Runs inside whatever event loop is active, so
// nested dialogs are answered too.
class TModalScript : public QObject {
    Q_OBJECT
public:
    using TStep = std::function<bool(QWidget* modal)>;
    TModalScript();

    void Then(TStep step) { FSteps.push_back(std::move(step)); }
    // A message box: its text is recorded, then `button` (a QMessageBox::StandardButton) is clicked.
    void AnswerMessage(int button, const char* screenshot = nullptr);
    bool Done() const { return FSteps.empty(); }
    // Texts of the message boxes answered, "\n" between lines.
    std::vector<QString> Messages;

private:
    void Tick();
    std::deque<TStep> FSteps;
    QTimer FTimer;
};

// Saves a picture of `widget` (a window) as <build>/screenshots/<name>.png.
void SaveScreenshot(QWidget* widget, const std::string& name);

} // namespace kestrow::test
