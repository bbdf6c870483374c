#pragma once

#include "ui/category_view.h"

class QMediaPlayer;
class QAudioOutput;
class QLabel;
class QPushButton;

namespace kestrow {

class TRowModel;
class TVoiceMail;

// Voicemail: one row per message; Play plays the chosen message's AMR audio when the system can.
class TVmlFrm : public TCategoryView {
    Q_OBJECT
public:
    TVmlFrm(TIpodBackup& session, QWidget* parent);

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FVmailLst; }
    void Play();
    QMediaPlayer* Player() const { return FPlayer; }
    QPushButton* PlayBtn() const { return FPlayBtn; }
    // What became of the last Play: empty while playing, else why nothing plays.
    QLabel* StateLb() const { return FStateLb; }
    // Opens a file with the desktop's default application; tests replace it.
    std::function<bool(const QString& file)> OpenFile;

private:
    // Without a player: a private copy of the audio goes to the desktop's default application.
    void OpenOutside(int record, const QString& reason);
    void ShowState(const QString& text);

    TVoiceMail* FVoicemail = nullptr;
    TListView* FVmailLst = nullptr;
    TRowModel* FModel = nullptr;
    QPushButton* FPlayBtn = nullptr;
    QLabel* FStateLb = nullptr;
    int FCopies = 0;
    int FPlaying = -1;
    QMediaPlayer* FPlayer = nullptr;
    QAudioOutput* FAudio = nullptr;
};

} // namespace kestrow
