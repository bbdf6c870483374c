#include "modal_script.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWebEngineView>

namespace kestrow::test {

TModalScript::TModalScript() {
    FTimer.setInterval(25);
    connect(&FTimer, &QTimer::timeout, this, &TModalScript::Tick);
    FTimer.start();
}

void TModalScript::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || FSteps.empty() || !modal->isVisible()) {
        return;
    }
    TStep step = FSteps.front();
    if (step(modal)) {
        FSteps.pop_front();
    }
}

void TModalScript::AnswerMessage(int button, const char* screenshot) {
    std::string name = screenshot != nullptr ? screenshot : "";
    Then([this, button, name](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        Messages.push_back(box->text());
        if (!name.empty()) {
            SaveScreenshot(box, name);
        }
        QAbstractButton* answer = box->button(static_cast<QMessageBox::StandardButton>(button));
        QMetaObject::invokeMethod(answer, &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
}

void SaveScreenshot(QWidget* widget, const std::string& name) {
    QDir().mkpath(QStringLiteral(KESTROW_SCREENSHOTS));
    QWidget* window = widget->window();
    // HTML panes draw through their own surfaces, which only the screen's pixels show; every
    // other window is rendered as it stands, painted or not yet.
    QPixmap picture;
    if (!window->findChildren<QWebEngineView*>().isEmpty()) {
        picture = window->screen()->grabWindow(window->winId());
    }
    if (picture.isNull()) {
        picture = window->grab();
    }
    picture.save(QStringLiteral(KESTROW_SCREENSHOTS "/") + QString::fromStdString(name) +
                 QStringLiteral(".png"));
}

} // namespace kestrow::test
