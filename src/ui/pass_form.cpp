#include "ui/pass_form.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "crypto/key_bag.h"
#include "ui/qt_text.h"

namespace kestrow {

namespace {

// The show/hide button's picture: an eye.
QIcon EyeIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
    painter.drawEllipse(QRectF(1.5, 4.5, 13, 7));
    painter.setBrush(QColor(0x55, 0x55, 0x55));
    painter.drawEllipse(QRectF(5.5, 5.5, 5, 5));
    return QIcon(pixmap);
}

QString KeyStoreDamage(TKeyBagError error) {
    switch (error) {
    case kbeOther:
        return QStringLiteral("it holds no data.");
    case kbeType:
        return QStringLiteral("its type is not one a backup uses.");
    case kbeFormat:
        return QStringLiteral("it holds no readable class key.");
    default:
        return QStringLiteral("it cannot be read.");
    }
}

} // namespace

TPassForm::TPassForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Input password"));
    setObjectName(QStringLiteral("PassForm"));
    FBkLb = new QLabel(QStringLiteral("Type the password for encrypted backup:"), this);
    FBkLb->setTextFormat(Qt::PlainText);
    FPassEdt = new QLineEdit(this);
    FPassEdt->setObjectName(QStringLiteral("PassEdt"));
    FPassEdt->setEchoMode(QLineEdit::Password);
    FPassEdt->setPlaceholderText(QStringLiteral("Input passowrd here"));
    QAction* toggle = FPassEdt->addAction(EyeIcon(), QLineEdit::TrailingPosition);
    toggle->setToolTip(QStringLiteral("Show or hide the password"));
    connect(toggle, &QAction::triggered, this, [this] {
        FPassEdt->setEchoMode(FPassEdt->echoMode() == QLineEdit::Password ? QLineEdit::Normal
                                                                          : QLineEdit::Password);
    });
    FErrorLb = new QLabel(this);
    FErrorLb->setObjectName(QStringLiteral("ErrorLb"));
    FErrorLb->setTextFormat(Qt::PlainText);
    FErrorLb->setWordWrap(true);
    FErrorLb->setStyleSheet(QStringLiteral("color:#B00020")); // 6.4:1 on the dialog's grey
    FErrorLb->setVisible(false);
    FBusy = new QProgressBar(this);
    FBusy->setRange(0, 0); // moving: the derivation gives no progress of its own
    FBusy->setTextVisible(false);
    FBusy->setMaximumHeight(8);
    FBusy->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FBusy->setVisible(false);
    FOkBtn = new QPushButton(QStringLiteral("OK"), this);
    FOkBtn->setObjectName(QStringLiteral("OkBtn"));
    FOkBtn->setDefault(true);
    FOkBtn->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(FOkBtn, &QPushButton::clicked, this, &TPassForm::OkBtnClick);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(FBusy, 1);
    buttons->addStretch(0);
    buttons->addWidget(FOkBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addWidget(FBkLb);
    layout->addWidget(FPassEdt);
    layout->addWidget(FErrorLb);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setFixedSize(376, 150);
}

TPassForm::~TPassForm() {
    if (FChecking.joinable()) {
        FChecking.join();
    }
}

void TPassForm::SetLabel(const QString& text) {
    FBkLb->setText(text);
}

void TPassForm::reject() {
    if (!IsChecking()) { // the keybag is in use until the check ends
        QDialog::reject();
    }
}

void TPassForm::OkBtnClick() {
    if (IsChecking()) {
        return;
    }
    if (FKeyBagText.empty()) {
        ShowError(QStringLiteral("This backup's key store is damaged: it is missing."));
        return;
    }
    const QString typed = FPassEdt->text();
    const QString trimmed = typed.trimmed();
    if (trimmed.isEmpty()) {
        FPassEdt->clear();
        ShowInformation(
            this, QStringLiteral("Please input the password.\rOr decrypt this backup first in the iTunes."));
        return;
    }
    if (!FKeyBag) {
        FKeyBag = std::make_unique<TBackupKeyBag>(FKeyBagText, 0);
    }
    if (FKeyBag->LastError() != kbeSuccess) {
        ShowError(QStringLiteral("This backup's key store is damaged: ") +
                  KeyStoreDamage(FKeyBag->LastError()));
        return;
    }
    ShowError(QString());
    // The text as typed first: a password may begin or end with a blank. The trimmed text only
    // when that fails, for the blanks a user adds by mistake.
    std::vector<std::string> candidates{ToStdString(typed)};
    if (trimmed != typed) {
        candidates.push_back(ToStdString(trimmed));
    }
    SetBusy(true);
    FChecking = std::thread([this, candidates = std::move(candidates)] {
        std::string right;
        bool found = false;
        for (const std::string& candidate : candidates) {
            if (FKeyBag->TestItunesPassword(candidate)) {
                right = candidate;
                found = true;
                break;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, found, right] { CheckDone(found, right); }, Qt::QueuedConnection);
    });
}

void TPassForm::CheckDone(bool right, const std::string& password) {
    if (FChecking.joinable()) {
        FChecking.join();
    }
    SetBusy(false);
    if (right) {
        FPassword = password;
        accept();
        return;
    }
    ShowError(QStringLiteral("Wrong password."));
    FPassEdt->setFocus();
    FPassEdt->selectAll();
}

void TPassForm::ShowError(const QString& text) {
    FErrorLb->setText(text);
    FErrorLb->setVisible(!text.isEmpty());
    // The width stays; a long reason takes the lines it needs.
    setFixedSize(376, std::max(150, layout()->heightForWidth(376)));
}

void TPassForm::SetBusy(bool busy) {
    FBusy->setVisible(busy);
    FOkBtn->setEnabled(!busy);
    FPassEdt->setEnabled(!busy);
    setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

} // namespace kestrow
