#include "ui/views/ab_frm.h"

#include <QHBoxLayout>
#include <QSplitter>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/contact_card.h"
#include "export/contacts_export.h"
#include "export/export_formats.h"
#include "readers/address_book.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/view_parts.h"

namespace kestrow {

TAbFrm::TAbFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FBook = session.LoadContacts();
    TAddressBook* book = FBook;
    const auto person = [book](int record) -> const TAbPerson& { return book->GetPerson(record); };
    std::vector<TColumn> columns{
        {QStringLiteral("First name"), 140, Qt::AlignLeft | Qt::AlignVCenter,
         [person](int r) { return ToQString(person(r).First); },
         [person](int a, int b) { return LessAsciiNoCase(person(a).First, person(b).First); }},
        {QStringLiteral("Last name"), 160, Qt::AlignLeft | Qt::AlignVCenter,
         [person](int r) { return ToQString(person(r).Last); },
         [person](int a, int b) { return LessAsciiNoCase(person(a).Last, person(b).Last); }},
    };
    FModel = new TRowModel(std::move(columns), this);
    std::vector<int> records(book != nullptr ? static_cast<std::size_t>(book->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FContactLst = new TListView(this);
    FContactLst->SetRowModel(FModel, 1);
    FContactViewer = new THtmlPane(this);
    auto* splitter = new QSplitter(this);
    StyleSplitter(splitter);
    splitter->addWidget(FContactViewer);
    splitter->addWidget(FContactLst);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({700, 300});
    RememberSplitter(splitter, QStringLiteral("Contacts"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    connect(FContactLst, &TListView::RecordShown, this,
            [this](int record) { Guarded(window(), [&] { ShowContact(record); }); });
    FContactLst->ShowFirst();
    NoteEmpty(catContacts, "No contacts in this backup.");
}

void TAbFrm::ShowContact(int record) {
    const TAbPerson& person = FBook->GetPerson(record);
    const std::optional<std::string> thumbnail = person.Thumbnail();
    const std::optional<TInlinePicture> picture =
        thumbnail ? CardPicture(*thumbnail) : std::optional<TInlinePicture>();
    FContactViewer->ShowHtml(BuildContactCard(person, FBook->Names(), picture));
}

bool TAbFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(FBook->GetPerson(record).Name, key);
}

std::optional<TExportJob> TAbFrm::PrepareExport() {
    return RecordsExport(ecContacts, [](TIpodBackup& session, const std::vector<int>& records, int format,
                                        const std::string& dest, const TExportControl& control) {
        return ExportContacts(session, records, format, dest, control);
    });
}

} // namespace kestrow
