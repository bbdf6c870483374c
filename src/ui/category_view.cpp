#include "ui/category_view.h"

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "ui/export_form.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {

TCategoryView::TCategoryView(TIpodBackup& session, QWidget* parent) : QWidget(parent), FSession(session) {}

bool TCategoryView::FindNext(const QString& text) {
    TListView* list = List();
    const QString key = SearchKey(text);
    return list != nullptr && list->FindNext([this, &key](int record) { return Matches(record, key); });
}

void TCategoryView::Filter(const QString& text) {
    TListView* list = List();
    if (list == nullptr || list->RowModel() == nullptr || text == FFilter) {
        return;
    }
    FFilter = text;
    const QString key = SearchKey(text);
    if (text.trimmed().isEmpty()) {
        list->Filter(nullptr);
    } else {
        list->Filter([this, &key](int record) { return Matches(record, key); });
    }
}

bool TCategoryView::CanExport() const {
    const TListView* list = List();
    return list == nullptr || (list->RowModel() != nullptr && list->RowModel()->rowCount() > 0);
}

void TCategoryView::NoteEmpty(int category, const char* emptyText, TListView* list) {
    if (list == nullptr) {
        list = List();
    }
    if (FSession.CategoryState(category) == TCategoryState::Failed) {
        list->SetEmptyText(QStringLiteral("This category's database cannot be read:\n") +
                           ToQString(FSession.CategoryError(category)));
    } else {
        list->SetEmptyText(QString::fromUtf8(emptyText));
    }
}

std::optional<TCategoryView::TExportChoice> TCategoryView::ChooseExport(int category, int dialogSelected) {
    TListView* list = List();
    if (list->RowModel()->rowCount() == 0) {
        ShowInformation(this, QString::fromUtf8(ExportCategoryInfo(category).EmptyMessage));
        return std::nullopt;
    }
    const std::vector<int> selected = list->SelectedRecords();
    TExportFrom dialog(window());
    dialog.SetSession(&FSession);
    dialog.Prepare(category, dialogSelected >= 0 ? dialogSelected : static_cast<int>(selected.size()));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    TExportChoice choice;
    choice.Destination = dialog.Destination();
    choice.Format = dialog.FormatCode();
    choice.Records = selected.empty() ? list->AllRecords() : selected;
    return choice;
}

std::optional<TExportJob> TCategoryView::RecordsExport(int category, TRecordsExport run, int dialogSelected) {
    auto choice = ChooseExport(category, dialogSelected);
    if (!choice) {
        return std::nullopt;
    }
    TIpodBackup* session = &FSession;
    TExportJob job;
    job.Destination = choice->Destination;
    job.Run = [session, run = std::move(run), records = std::move(choice->Records), format = choice->Format,
               dest = ToStdString(choice->Destination)](const TExportControl& control) {
        return run(*session, records, format, dest, control);
    };
    return job;
}

} // namespace kestrow
