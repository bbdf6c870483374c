#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace kestrow {

class TIpodBackup;

// "Export": the destination folder (remembered as "BkDest") and one format of the category.
class TExportFrom : public QDialog {
    Q_OBJECT
public:
    explicit TExportFrom(QWidget* parent = nullptr);

    // Caption, formats (the first chosen) and the Export button's caption for `selected` rows.
    void Prepare(int category, int selected);
    // The destination as confirmed, ending with "/".
    QString Destination() const;
    int FormatCode() const;
    // The open backup: a destination inside any backup folder is refused before anything is made.
    void SetSession(const TIpodBackup* session) { FSession = session; }

    QLineEdit* DestEdt() const { return FDestEdt; }
    QComboBox* FormatRg() const { return FFormatRg; }
    QPushButton* OKBtn() const { return FOKBtn; }
    QToolButton* BrowseBtn() const { return FBrowseBtn; }

    // The remembered destination: the setting "BkDest" of organization "kestrowapp".
    static QString RememberedDestination();

public slots:
    void done(int result) override;

private:
    void BrowseBtnClick();
    void OKBtnClick();

    QLineEdit* FDestEdt = nullptr;
    QToolButton* FBrowseBtn = nullptr;
    QComboBox* FFormatRg = nullptr;
    QPushButton* FCancelBtn = nullptr;
    QPushButton* FOKBtn = nullptr;
    const TIpodBackup* FSession = nullptr;
};

} // namespace kestrow
