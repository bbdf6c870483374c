#pragma once

#include "ui/category_view.h"

class QLabel;

namespace kestrow {

class THtmlPane;
class TRowModel;
class TShortMessage;

// Messages: the conversations at the right, the chosen one as chat bubbles with its pictures.
class TMsgFrm : public TCategoryView {
    Q_OBJECT
public:
    TMsgFrm(TIpodBackup& session, QWidget* parent);

    bool FindNext(const QString& text) override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FMsgGroupLst; }
    THtmlPane* Viewer() const { return FMsgViewer; }
    QLabel* NumLb() const { return FNumLb; }
    // Shows one conversation (an index into the reader).
    void ShowConversation(int group);

private:
    TShortMessage* FMessages = nullptr;
    TListView* FMsgGroupLst = nullptr;
    TRowModel* FModel = nullptr;
    THtmlPane* FMsgViewer = nullptr;
    QLabel* FNumLb = nullptr;
};

} // namespace kestrow
