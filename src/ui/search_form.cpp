#include "ui/search_form.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "search/search_csv.h"
#include "ui/back_frame.h"
#include "ui/category_view.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"

namespace kestrow {

// The results as a list: texts made when painted, so a timeline of a million records costs its hits.
class THitModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetHits(std::vector<TSearchHit> hits, bool timeline) {
        beginResetModel();
        FHits = std::move(hits);
        FTimeline = timeline;
        endResetModel();
    }
    const std::vector<TSearchHit>& Hits() const { return FHits; }
    bool IsTimeline() const { return FTimeline; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(FHits.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 4;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) {
            return {};
        }
        const TSearchHit& hit = FHits[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
        case 0:
            return QString::fromLatin1(SearchCategoryName(hit.Ref.Category));
        case 1:
            return ToQString(DateTimeText(hit.Ref.Date));
        case 2:
            return ToQString(hit.Where);
        default:
            return ToQString(FTimeline ? hit.Summary : MarkedSnippet(hit.Snippet));
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const kTitles[] = {"Category", "Date", "Where", "Text"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3) {
            return {};
        }
        return QString::fromLatin1(kTitles[section]);
    }

private:
    std::vector<TSearchHit> FHits;
    bool FTimeline = false;
};

namespace {

constexpr const char* kCategoryNames[] = {"contacts", "messages", "calls",     "calendar",
                                          "notes",    "safari",   "voicemail", "files"};

double LocalDays(const QDate& date) {
    return DaysOf(date.year(), date.month(), date.day());
}

} // namespace

TSearchForm::TSearchForm(TIpodBackup& session, QWidget* parent) : QDialog(parent), FSession(session) {
    setObjectName(QStringLiteral("SearchForm"));
    setWindowTitle(QStringLiteral("Search everything"));
    resize(820, 520);
    FFindEdt = new QLineEdit(this);
    FFindEdt->setObjectName(QStringLiteral("FindEdt"));
    FFindEdt->setPlaceholderText(QStringLiteral("Words, names or numbers"));
    auto* findBtn = new QPushButton(QStringLiteral("Search"), this);
    FCategoryCb = new QComboBox(this);
    FCategoryCb->addItem(QStringLiteral("All categories"));
    for (const char* name : kCategoryNames) {
        FCategoryCb->addItem(QString::fromLatin1(name));
    }
    FFromEdt = new QDateEdit(QDate(2007, 1, 1), this);
    FToEdt = new QDateEdit(QDate::currentDate(), this);
    FFromEdt->setCalendarPopup(true);
    FToEdt->setCalendarPopup(true);
    auto* timelineBtn = new QPushButton(QStringLiteral("Timeline"), this);
    timelineBtn->setObjectName(QStringLiteral("TimelineBtn"));
    FModel = new THitModel(this);
    FResultLst = new QTreeView(this);
    FResultLst->setObjectName(QStringLiteral("ResultLst"));
    FResultLst->setRootIsDecorated(false);
    FResultLst->setUniformRowHeights(true);
    FResultLst->setModel(FModel);
    ApplyListLook(FResultLst);
    FResultLst->header()->setStretchLastSection(true);
    FResultLst->header()->resizeSection(0, 90);
    FResultLst->header()->resizeSection(1, 140);
    FResultLst->header()->resizeSection(2, 180);
    FCount = new QLabel(this);
    FCount->setObjectName(QStringLiteral("CountLbl"));
    auto* csvBtn = new QPushButton(QStringLiteral("Export CSV ..."), this);

    auto* top = new QHBoxLayout;
    top->addWidget(FFindEdt, 1);
    top->addWidget(findBtn);
    top->addWidget(FCategoryCb);
    auto* dates = new QHBoxLayout;
    dates->addWidget(new QLabel(QStringLiteral("From"), this));
    dates->addWidget(FFromEdt);
    dates->addWidget(new QLabel(QStringLiteral("to"), this));
    dates->addWidget(FToEdt);
    dates->addWidget(timelineBtn);
    dates->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(FCount, 1);
    bottom->addWidget(csvBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(dates);
    layout->addWidget(FResultLst, 1);
    layout->addLayout(bottom);

    connect(findBtn, &QPushButton::clicked, this, &TSearchForm::RunSearch);
    connect(FFindEdt, &QLineEdit::returnPressed, this, &TSearchForm::RunSearch);
    connect(timelineBtn, &QPushButton::clicked, this, &TSearchForm::RunTimeline);
    connect(csvBtn, &QPushButton::clicked, this, &TSearchForm::ExportCsv);
    connect(FResultLst, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenRow(index.row()); });
}

TSearchForm::~TSearchForm() = default;

void TSearchForm::ShowSearch(const QString& text) {
    show();
    raise();
    activateWindow();
    if (!text.trimmed().isEmpty()) {
        FFindEdt->setText(text);
        RunSearch();
    }
    FFindEdt->setFocus();
}

void TSearchForm::ShowTimeline() {
    show();
    raise();
    activateWindow();
    RunTimeline();
}

TCategoryFilter TSearchForm::Categories() const {
    const int chosen = FCategoryCb->currentIndex() - 1;
    return chosen < 0 ? TCategoryFilter{} : TCategoryFilter{SearchCategoryOf(kCategoryNames[chosen])};
}

bool TSearchForm::Usable() {
    if (CanUse && !CanUse()) {
        ShowInformation(this, QStringLiteral("Please wait until all the data has been loaded."));
        return false;
    }
    return true;
}

void TSearchForm::RunSearch() {
    const QString text = FFindEdt->text();
    if (text.trimmed().isEmpty() || !Usable()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor); // the first search loads and indexes everything
    Guarded(this, [&] {
        if (!FIndex) {
            FIndex = std::make_unique<TSearchIndex>(FSession);
        }
        FSearched = text;
        Show(FIndex->Search(ToStdString(text), Categories()), false);
    });
    QApplication::restoreOverrideCursor();
}

void TSearchForm::RunTimeline() {
    if (!Usable()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Guarded(this, [&] {
        if (!FIndex) {
            FIndex = std::make_unique<TSearchIndex>(FSession);
        }
        FSearched.clear();
        const double from = LocalDays(FFromEdt->date());
        const double to = LocalDays(FToEdt->date().addDays(1)) - 1.0 / 86'400'000.0;
        Show(FIndex->Timeline(from, to, Categories()), true);
    });
    QApplication::restoreOverrideCursor();
}

void TSearchForm::Show(std::vector<TSearchHit> hits, bool timeline) {
    const std::size_t count = hits.size();
    FModel->SetHits(std::move(hits), timeline);
    FCount->setText(QString::number(count) +
                    (timeline ? QStringLiteral(" records") : QStringLiteral(" found")));
}

void TSearchForm::OpenRow(int row) {
    if (row < 0 || row >= FModel->rowCount() || !Open || !Usable()) {
        return;
    }
    const TSearchHit& hit = FModel->Hits()[static_cast<std::size_t>(row)];
    Open(hit.Ref.Category, hit.Ref.Record, FSearched);
}

void TSearchForm::ExportCsv() {
    if (FModel->rowCount() == 0) {
        ShowInformation(this, QStringLiteral("There is nothing to export."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save to"), QString(),
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    const std::string target = ToStdString(path);
    const std::string folder = target.substr(0, target.find_last_of('/') + 1);
    const std::string csv = FModel->IsTimeline() ? TimelineCsv(FModel->Hits(), FSession.TzOffset())
                                                 : SearchCsv(FModel->Hits(), FSession.TzOffset());
    int error = FSession.CheckDestination(folder.empty() ? std::string(".") : folder);
    if (error == 0) {
        error = WriteNewFile(target, csv);
    }
    if (error != 0) {
        ShowWarning(this, QStringLiteral("Cannot write ") + path + QStringLiteral(": ") +
                              ToQString(ErrorText(error)));
    }
}

void ShowFoundRecord(TBackFrame* frame, int category, int record, const QString& text) {
    int view = 0;
    while (view < TBackFrame::kViewCount && CategoryOfView(view) != category) {
        ++view;
    }
    if (view == TBackFrame::kViewCount || !frame->CategoryButton(view)->isEnabled()) {
        return;
    }
    frame->CategoryButton(view)->click();
    TCategoryView* shown = frame->View(view);
    TListView* list = shown != nullptr ? shown->List() : nullptr;
    const int row = list != nullptr ? list->RowOfRecord(record) : -1;
    if (row >= 0) {
        list->SelectRow(row);
    }
    frame->window()->activateWindow();
    auto* page = shown != nullptr ? shown->findChild<QWebEngineView*>() : nullptr;
    if (page != nullptr && !text.isEmpty()) {
        // The page of the selected record is loading now: mark the text once it is there.
        QObject::connect(
            page, &QWebEngineView::loadFinished, page, [page, text] { page->findText(text); },
            Qt::SingleShotConnection);
    }
}

void AddSearchActions(QMenu* menu, TBackFrame* frame, QLineEdit* searchBox) {
    auto* form = new QPointer<TSearchForm>();
    const auto open = [frame, form]() -> TSearchForm* {
        if (form->isNull()) {
            *form = new TSearchForm(frame->Session(), frame);
            (*form)->Open = [frame](int category, int record, const QString& text) {
                ShowFoundRecord(frame, category, record, text);
            };
            (*form)->CanUse = [frame] { return !frame->Busy(); };
        }
        return *form;
    };
    menu->addSeparator();
    auto* search = menu->addAction(QStringLiteral("Search Everything ..."));
    search->setObjectName(QStringLiteral("SearchEverythingAct"));
    QObject::connect(search, &QAction::triggered, frame,
                     [open, searchBox] { open()->ShowSearch(searchBox->text()); });
    auto* timeline = menu->addAction(QStringLiteral("Timeline ..."));
    timeline->setObjectName(QStringLiteral("TimelineAct"));
    QObject::connect(timeline, &QAction::triggered, frame, [open] { open()->ShowTimeline(); });
    // The index belongs to one opening: a new one starts afresh.
    QObject::connect(frame, &TBackFrame::OpeningDone, frame, [form] { delete form->data(); });
    QObject::connect(frame, &QObject::destroyed, [form] { delete form; });
}

} // namespace kestrow
