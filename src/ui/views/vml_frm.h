#pragma once

#include "ui/category_view.h"

class QMediaPlayer;
class QAudioOutput;
class QPushButton;

namespace kestrow {

class TRowModel;
class TVoiceMail;

// Voicemail: one row per message; Play plays the chosen message's AMR audio when the system can.
class TVmlFrm : public TCategoryView {
    Q_OBJECT
public:
    TVmlFrm(TIpodBackup& session, QWidget* parent);

    bool FindNext(const QString& text) override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FVmailLst; }
    void Play();
    QMediaPlayer* Player() const { return FPlayer; }
    QPushButton* PlayBtn() const { return FPlayBtn; }

private:
    TVoiceMail* FVoicemail = nullptr;
    TListView* FVmailLst = nullptr;
    TRowModel* FModel = nullptr;
    QPushButton* FPlayBtn = nullptr;
    QMediaPlayer* FPlayer = nullptr;
    QAudioOutput* FAudio = nullptr;
};

} // namespace kestrow
