#pragma once

#include <QMenu>
#include <QPointer>
#include <deque>
#include <unordered_map>

#include "export/html_text.h"
#include "ui/category_view.h"
#include "ui/html_pane.h"

class QLabel;
class QThreadPool;

namespace kestrow {

class TRowModel;
class TShortMessage;
struct TMsgPiece;

// Messages: the conversations at the right, the chosen one as chat bubbles with its pictures.
class TMsgFrm : public TCategoryView {
    Q_OBJECT
public:
    TMsgFrm(TIpodBackup& session, QWidget* parent);
    ~TMsgFrm() override;

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FMsgGroupLst; }
    THtmlPane* Viewer() const { return FMsgViewer; }
    QLabel* NumLb() const { return FNumLb; }
    // Shows one conversation (an index into the reader).
    void ShowConversation(int group);

    // The menu of an attachment on the page ("Save as…", "Open with the default application"),
    // for the part behind `anchor` (PartAnchor) of the conversation on screen.
    void ShowPartMenu(const QString& anchor, const QPoint& globalPos);
    // The actions of that menu; false (and said) when nothing was written.
    bool SavePart(const QString& anchor);
    bool OpenPart(const QString& anchor);
    // Asks where a part is saved, `suggested` its name; empty when cancelled. Tests replace it.
    std::function<QString(const QString& suggested)> AskSavePath;
    // Opens a file with the desktop's default application; tests replace it.
    std::function<bool(const QString& file)> OpenFile;
    // The part menu while it is open (tests choose from it).
    QMenu* PartMenu() const { return FPartMenu.data(); }

private:
    const TMsgPiece* FindPart(const QString& anchor) const;
    // The parts of the conversation on screen by anchor (the first of equal ones, as the page has it).
    void IndexParts();
    bool LoadPart(const TMsgPiece& piece, std::string& bytes);
    // Serves a picture the page names ("part/<kind>-<row id>"): read here, decoded on a worker.
    void ServePicture(const QString& address, const THtmlPane::TAnswer& answer);
    void RememberPicture(const std::string& address, const std::optional<TInlinePicture>& picture);

    // Decoded pictures by address (a failed one as nothing), the oldest dropped first.
    std::unordered_map<std::string, const TMsgPiece*> FParts;
    std::unordered_map<std::string, std::optional<TInlinePicture>> FPictures;
    std::deque<std::string> FPictureOrder;
    std::size_t FPictureBytes = 0;
    QThreadPool* FDecoders = nullptr;

    TShortMessage* FMessages = nullptr;
    int FShownGroup = -1;
    int FCopies = 0;
    QPointer<QMenu> FPartMenu;
    TListView* FMsgGroupLst = nullptr;
    TRowModel* FModel = nullptr;
    THtmlPane* FMsgViewer = nullptr;
    QLabel* FNumLb = nullptr;
};

} // namespace kestrow
