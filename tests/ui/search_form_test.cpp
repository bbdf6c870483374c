// "Search Everything ..." as a person uses it: typed words, the menu, a double click on a result
// that opens the record in its view.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include "demo_root.h"
#include "modal_script.h"
#include "ui/back_frame.h"
#include "ui/bk_select_form.h"
#include "ui/category_view.h"
#include "ui/list_view.h"
#include "ui/main_form.h"
#include "ui/search_form.h"

namespace kestrow {
namespace {

QString Row(QAbstractItemModel* model, int row) {
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column) {
        texts << model->index(row, column).data().toString();
    }
    return texts.join(QStringLiteral(" | "));
}

QString PlainText(QWebEngineView* view) {
    QString text;
    bool done = false;
    view->page()->toPlainText([&](const QString& result) {
        text = result;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    return text;
}

TEST(DesktopSearch, EverythingFindsAMessageAndOpensItsConversation) {
    test::ForgetSettings();
    test::TModalScript script;
    TMainForm form(test::DemoRoot(), "");
    script.Then([](QWidget* modal) {
        auto* dialog = qobject_cast<TBkSelectForm*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        dialog->SelectRow(0);
        QMetaObject::invokeMethod(dialog->ReadBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.BackFrame() && form.BackFrame()->ViewShown(); }, 60000));

    // The search box's scope "Everything": Return searches every category; the list stays whole.
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.ScopeCb()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.ScopeCb(), Qt::Key_Down);
    ASSERT_EQ(form.ScopeCb()->currentText(), "Everything");
    QTest::mouseClick(form.SearchEdt(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), form.SearchEdt());
    const int contacts = form.BackFrame()->View(0)->List()->model()->rowCount();
    QTest::keyClicks(form.SearchEdt(), QStringLiteral("PARCEL"));
    QTest::keyClick(form.SearchEdt(), Qt::Key_Return);
    QTest::qWait(300); // past the moment "This list" would have filtered
    EXPECT_EQ(form.BackFrame()->View(0)->List()->model()->rowCount(), contacts);

    TSearchForm* search = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            search = form.BackFrame()->findChild<TSearchForm*>();
            return search != nullptr && search->isVisible() && search->ResultLst()->model()->rowCount() == 1;
        },
        30000));
    QTreeView* results = search->ResultLst();
    EXPECT_EQ(Row(results->model(), 0).toStdString(),
              "messages | 05/10/12 09:03:20 | Okafor Ben | Your «parcel» will arrive tomorrow between 9:00 "
              "and 13:00.");
    EXPECT_EQ(search->CountLabel()->text().toStdString(), "1 found");
    QTest::qWait(300);
    test::SaveScreenshot(search, "search-everything");

    const QRect cell = results->visualRect(results->model()->index(0, 2));
    // A double click: press and release, then the second press.
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    TCategoryView* messages = form.BackFrame()->View(1);
    ASSERT_NE(messages, nullptr);
    ASSERT_TRUE(messages->isVisible());
    const auto selected = messages->List()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().data().toString().toStdString(), "Okafor Ben");
    auto* page = messages->findChild<QWebEngineView*>();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PlainText(page).contains(QStringLiteral("parcel")); }, 10000));
    QTest::qWait(400);
    test::SaveScreenshot(&form, "search-opened-message");
}

} // namespace
} // namespace kestrow
