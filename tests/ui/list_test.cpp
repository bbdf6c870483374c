#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QTcpServer>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {
namespace {

// A list over five records whose names repeat, as a view builds it.
class SharedList : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<TColumn> columns{
            {QStringLiteral("Name"), 100, Qt::AlignLeft, [this](int r) { return FNames[r]; },
             [this](int a, int b) {
                 return LessAsciiNoCase(FNames[a].toStdString(), FNames[b].toStdString());
             }},
            {QStringLiteral("Size"), 60, Qt::AlignRight, [](int r) { return QString::number(r * 10); },
             nullptr},
        };
        FModel = new TRowModel(std::move(columns), &FList);
        FTester = std::make_unique<QAbstractItemModelTester>(
            FModel, QAbstractItemModelTester::FailureReportingMode::Fatal);
        FModel->SetRecords({0, 1, 2, 3, 4, 5});
        FList.SetRowModel(FModel, 0);
    }
    int SelectedRow() const {
        const auto rows = FList.selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    bool Find(const char* text) {
        const QString key = SearchKey(QString::fromUtf8(text));
        return FList.FindNext([&](int record) { return MatchesSearch(FNames[record].toStdString(), key); });
    }

    std::vector<QString> FNames{"anna", "Ben", "ANNETTE", "Chloé", "Dan", "Término"};
    TListView FList;
    TRowModel* FModel = nullptr;
    std::unique_ptr<QAbstractItemModelTester> FTester;
};

TEST_F(SharedList, FindNextWalksOnAndWrapsToTheSelectedRow) {
    EXPECT_TRUE(Find("an"));
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_TRUE(Find("AN"));
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_TRUE(Find("an"));
    EXPECT_EQ(SelectedRow(), 4); // "Dan"
    EXPECT_TRUE(Find("an"));
    EXPECT_EQ(SelectedRow(), 0); // wrapped
    EXPECT_FALSE(Find("Ben "));
    EXPECT_EQ(SelectedRow(), 0); // a failed search keeps the selection
    // The selected row itself is not a match for the next search.
    FList.SelectRow(1);
    EXPECT_FALSE(Find("ben"));
    // Case and accents are ignored both ways: "CHLOE" and "chloé" find "Chloé", "termino" finds
    // "Término"; an empty search finds nothing.
    EXPECT_TRUE(Find("CHLOE"));
    EXPECT_EQ(SelectedRow(), 3);
    FList.SelectRow(0);
    EXPECT_TRUE(Find("chloé"));
    EXPECT_EQ(SelectedRow(), 3);
    EXPECT_TRUE(Find("termino"));
    EXPECT_EQ(SelectedRow(), 5);
    EXPECT_FALSE(Find(""));
}

TEST_F(SharedList, HeaderClicksSortAndReverseAndKeepTheSelection) {
    FList.SelectRow(1); // Ben
    FList.header()->setSortIndicator(0, Qt::AscendingOrder);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{0, 2, 1, 3, 4, 5}));
    EXPECT_EQ(FList.SelectedRecords(), (std::vector<int>{1}));
    FList.header()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{5, 4, 3, 1, 2, 0}));
    EXPECT_EQ(SelectedRow(), 3);
    // A column without an order does not sort.
    FList.header()->setSortIndicator(1, Qt::AscendingOrder);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{5, 4, 3, 1, 2, 0}));
    EXPECT_EQ(FModel->index(0, 1).data(Qt::TextAlignmentRole).toInt(), static_cast<int>(Qt::AlignRight));
    // Selected records come in list order, not in the order they were selected.
    FList.selectionModel()->select(FModel->index(5, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    FList.selectionModel()->select(FModel->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(FList.SelectedRecords(), (std::vector<int>{4, 1, 0}));

    // A filter keeps the selected records it lists; a sort while filtered orders the hidden
    // records too, so they come back in the order the header shows.
    const auto keep = [this](int record) {
        return FNames[record].contains(QLatin1Char('n'), Qt::CaseInsensitive);
    };
    FList.Filter(keep);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{5, 4, 1, 2, 0}));
    EXPECT_EQ(FList.SelectedRecords(), (std::vector<int>{4, 1, 0}));
    FList.header()->setSortIndicator(0, Qt::AscendingOrder);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{0, 2, 1, 4, 5}));
    FList.Filter([](int) { return false; });
    EXPECT_EQ(FModel->rowCount(), 0);
    EXPECT_EQ(FList.SelectedCount(), 0);
    FList.Filter(nullptr);
    EXPECT_EQ(FModel->Records(), (std::vector<int>{0, 2, 1, 3, 4, 5}));
}

// The mouse makes a row current before it selects it: the record is shown once, after both.
TEST_F(SharedList, AClickShowsItsRecordOnceAndCopyTakesTheSelectedRows) {
    FList.resize(300, 200);
    FList.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FList));
    std::vector<int> shown;
    QObject::connect(&FList, &TListView::RecordShown, [&shown](int record) { shown.push_back(record); });
    const auto click = [this](int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(FList.viewport(), Qt::LeftButton, modifiers,
                          FList.visualRect(FModel->index(row, 0)).center());
    };
    click(2);
    click(2);
    EXPECT_EQ(shown, std::vector<int>{2});
    QTest::keyClick(FList.viewport(), Qt::Key_Down);
    click(4, Qt::ShiftModifier);
    EXPECT_EQ(shown, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(FList.SelectedRecords(), (std::vector<int>{3, 4}));
    QTest::keyClick(&FList, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Chloé\t30\nDan\t40"));
}

TEST(HtmlPane, PagesFetchNothingFromTheNetwork) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        ++connections;
        delete server.nextPendingConnection();
    });
    THtmlPane pane;
    pane.resize(400, 300);
    pane.show();
    bool loaded = false;
    QObject::connect(&pane, &THtmlPane::PageLoaded, [&](bool) { loaded = true; });
    const std::string address = "http://127.0.0.1:" + std::to_string(server.serverPort());
    pane.ShowHtml("<html><body><p>x</p><img src=\"" + address + "/a.png\"><link rel=stylesheet href=\"" +
                  address + "/b.css\"><script src=\"" + address + "/c.js\"></script><iframe src=\"" +
                  address + "/d\"></iframe></body></html>");
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 30000));
    QTest::qWait(500);
    EXPECT_EQ(connections, 0);
    EXPECT_EQ(pane.View()->contextMenuPolicy(), Qt::NoContextMenu);
}

} // namespace
} // namespace kestrow
