#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kestrow {

class TBackupKeyBag;

// "Input password": asks for the password of an encrypted backup and checks it against the
// backup's keybag before letting the user go on, so a wrong password is caught before the slow
// opening. The check runs off the UI thread (a derivation can take seconds); the derived key is
// kept by the core, so the opening that follows derives no second time.
class TPassForm : public QDialog {
    Q_OBJECT
public:
    explicit TPassForm(QWidget* parent = nullptr);
    ~TPassForm() override;

    void SetKeyBag(const std::string& keyBagText) { FKeyBagText = keyBagText; }
    void SetLabel(const QString& text);
    // The checked password after OK.
    const std::string& Password() const { return FPassword; }
    bool IsChecking() const { return FChecking.joinable(); }

    QLineEdit* PassEdt() const { return FPassEdt; }
    QPushButton* OkBtn() const { return FOkBtn; }
    // Why the last OK did not close the dialog: a wrong password or a damaged key store.
    QLabel* ErrorLb() const { return FErrorLb; }

public slots:
    void reject() override;

private:
    void OkBtnClick();
    void CheckDone(bool right, const std::string& password);
    void SetBusy(bool busy);
    void ShowError(const QString& text);

    QLabel* FBkLb = nullptr;
    QLabel* FErrorLb = nullptr;
    QLineEdit* FPassEdt = nullptr;
    QPushButton* FOkBtn = nullptr;
    QProgressBar* FBusy = nullptr;
    std::string FKeyBagText;
    std::unique_ptr<TBackupKeyBag> FKeyBag;
    std::string FPassword;
    std::thread FChecking;
};

} // namespace kestrow
