#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMediaPlayer>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "demo_root.h"
#include "modal_script.h"
#include "platform/file_io.h"
#include "readers/calendar.h"
#include "readers/voicemail.h"
#include "support/backup_writer.h"
#include "support/contacts_writer.h"
#include "support/file_tree.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"
#include "support/video_writer.h"
#include "ui/back_frame.h"
#include "ui/bk_select_form.h"
#include "ui/export_form.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/main_form.h"
#include "ui/pass_form.h"
#include "ui/row_model.h"
#include "ui/views/ab_frm.h"
#include "ui/views/cld_frm.h"
#include "ui/views/file_frm.h"
#include "ui/views/msg_frm.h"
#include "ui/views/note_frm.h"
#include "ui/views/photo_frm.h"
#include "ui/views/photo_grid.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/sfr_frm.h"
#include "ui/views/video_frames.h"
#include "ui/views/vml_frm.h"

namespace kestrow {
namespace {

using test::TModalScript;

// A picture of that size and colour, as PNG bytes.
std::string PngOf(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png.toStdString();
}

TEST(ViewRules, PictureSizesInChatsAndPreviews) {
    const auto chat = [](int w, int h) {
        int sw = 0;
        int sh = 0;
        ChatPictureSize(w, h, sw, sh);
        return std::to_string(sw) + "x" + std::to_string(sh);
    };
    EXPECT_EQ(chat(1000, 500), "238x119");
    EXPECT_EQ(chat(100, 400), "47x188");
    EXPECT_EQ(chat(200, 150), "200x150");
    EXPECT_EQ(chat(230, 190), "238x197"); // the longer side decides, not the limit crossed
    int w = 0;
    int h = 0;
    PreviewPictureSize(10, 5, 169, 169, w, h);
    EXPECT_EQ(w, 169);
    EXPECT_EQ(h, 84); // 84.5: halves to even
    PreviewPictureSize(5, 10, 169, 169, w, h);
    EXPECT_EQ(w, 84);
    EXPECT_EQ(h, 169);
}

TEST(ViewRules, SizeTexts) {
    EXPECT_EQ(SizeText(0), "");
    EXPECT_EQ(SizeText(512), "0.50 KB");
    EXPECT_EQ(SizeText(1048575), "1024.00 KB");
    EXPECT_EQ(SizeText(1048576), "1.00 MB");
    EXPECT_EQ(SizeText(1073741824), "1024.00 MB");
    EXPECT_EQ(SizeText(1073741825), "1.00 GB");
}

TEST(ViewRules, ChatPicturesAreScaledAndKeepTheirFormat) {
    const std::string png = PngOf(1000, 500);
    const auto picture = ChatPicture(png, "image/png");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Mime, "image/png");
    QByteArray format;
    const QImage shown = DecodePicture(picture->Bytes, &format);
    EXPECT_EQ(shown.size(), QSize(238, 119));
    EXPECT_EQ(format, "png");
    EXPECT_FALSE(ChatPicture("not a picture", "image/jpeg"));
    const auto card = CardPicture(png);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->Mime, "image/bmp");
    EXPECT_EQ(DecodePicture(card->Bytes).size(), QSize(100, 50));
}

class DesktopViews : public ::testing::Test {
protected:
    void Open(int index, const std::string& root = test::DemoRoot(), const char* password = nullptr) {
        ASSERT_FALSE(root.empty());
        test::ForgetSettings();
        FForm = std::make_unique<TMainForm>(root, "");
        FScript.Then([index](QWidget* modal) {
            auto* dialog = qobject_cast<TBkSelectForm*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->SelectRow(index);
            QMetaObject::invokeMethod(dialog->ReadBtn(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        if (password != nullptr) {
            const QString text = QString::fromUtf8(password);
            FScript.Then([text](QWidget* modal) {
                auto* dialog = qobject_cast<TPassForm*>(modal);
                if (dialog == nullptr) {
                    return false;
                }
                dialog->PassEdt()->setText(text);
                QMetaObject::invokeMethod(dialog->OkBtn(), &QAbstractButton::click, Qt::QueuedConnection);
                return true;
            });
        }
        FForm->show();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return FForm->BackFrame() && FForm->BackFrame()->ViewShown(); }, 60000));
        FFrame = FForm->BackFrame();
        FFrame->OpenFolder = nullptr; // nor the question whether to open it
    }
    TCategoryView* Show(int view) {
        FFrame->CategoryButton(view)->click();
        return FFrame->View(view);
    }
    static QStringList Column(TListView* list, int column) {
        QStringList texts;
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            texts << list->model()->index(row, column).data().toString();
        }
        return texts;
    }
    static QStringList Headers(QAbstractItemView* list) {
        QStringList texts;
        for (int c = 0; c < list->model()->columnCount(); ++c) {
            texts << list->model()->headerData(c, Qt::Horizontal).toString();
        }
        return texts;
    }
    // Exports the view with the first format into a new folder; the count the status gives.
    int ExportInto(const std::string& folder, int selectAllQuestion = 0, int format = 0,
                   int messagesAfter = 0) {
        if (selectAllQuestion != 0) {
            FScript.AnswerMessage(QMessageBox::Ok);
        }
        FScript.Then([folder, format](QWidget* modal) {
            auto* dialog = qobject_cast<TExportFrom*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->DestEdt()->setText(QString::fromStdString(folder));
            dialog->FormatRg()->setCurrentIndex(format);
            QMetaObject::invokeMethod(dialog->OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        for (int m = 0; m < messagesAfter; ++m) {
            FScript.AnswerMessage(QMessageBox::Ok);
        }
        int count = -1;
        const auto connection =
            QObject::connect(FFrame, &TBackFrame::ExportDone, [&count](int n) { count = n; });
        EXPECT_TRUE(FFrame->ExportView());
        EXPECT_TRUE(QTest::qWaitFor([&] { return count >= 0; }, 60000));
        QObject::disconnect(connection);
        return count;
    }
    // A click at the middle of the row, as a mouse makes it.
    static void ClickRow(QAbstractItemView* list, int row) {
        const QRect rect = list->visualRect(list->model()->index(row, 1 % list->model()->columnCount()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }
    // Whether the pane's page, as its text reads, comes to hold `text`.
    static bool PaneShows(THtmlPane* pane, const QString& text) {
        // The answer may come after the wait: it lands in state of its own.
        auto plain = std::make_shared<QString>();
        return QTest::qWaitFor(
            [&] {
                pane->View()->page()->toPlainText([plain](const QString& t) { *plain = t; });
                QTest::qWait(100);
                return plain->contains(text);
            },
            10000);
    }
    // Names and contents of every file below `folder`.
    static QString AllText(const std::string& folder) {
        QString all;
        for (const std::string& name : test::NamesBelow(folder)) {
            std::string bytes;
            ReadWholeFile(folder + "/" + name, bytes);
            all += QString::fromStdString(name) + QLatin1Char('\n') + QString::fromUtf8(bytes) +
                   QLatin1Char('\n');
        }
        return all;
    }
    void Screenshot(const char* name) {
        QTest::qWait(400); // let the HTML panes paint
        test::SaveScreenshot(FForm.get(), name);
    }

    TModalScript FScript;
    std::unique_ptr<TMainForm> FForm;
    TBackFrame* FFrame = nullptr;
    TTempFolder FOut;
};

TEST_F(DesktopViews, MessagesShowBubblesAndSortAndFind) {
    Open(0);
    auto* view = static_cast<TMsgFrm*>(Show(1));
    TListView* list = view->List();
    EXPECT_EQ(Headers(list), (QStringList{"Contacts", "Count"}));
    ASSERT_GT(list->model()->rowCount(), 1);
    list->header()->setSortIndicator(1, Qt::AscendingOrder);
    const QStringList ascending = Column(list, 1);
    for (int row = 1; row < ascending.size(); ++row) {
        EXPECT_LE(ascending[row - 1].toInt(), ascending[row].toInt());
    }
    list->header()->setSortIndicator(1, Qt::DescendingOrder);
    QStringList descending = Column(list, 1);
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(descending, ascending);

    // Find next from nothing selected, then on from the match, wrapping around.
    const QString first = Column(list, 0).front();
    EXPECT_TRUE(view->FindNext(first.left(3).toLower()));
    const int found = list->selectionModel()->selectedRows().front().row();
    EXPECT_TRUE(Column(list, 0)[found].toUpper().contains(first.left(3).toUpper()));
    EXPECT_FALSE(view->FindNext(QStringLiteral("no such name at all")));

    // The one-to-one conversation holds a received SMS (grey, left), a sent SMS (green, right) and a
    // sent iMessage (blue, right).
    list->selectionModel()->clearSelection();
    ASSERT_TRUE(view->FindNext(QStringLiteral("Taylor Anna")));
    const int chat = list->selectionModel()->selectedRows().front().row();
    EXPECT_EQ(Column(list, 0)[chat].toStdString(), "Taylor Anna");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Viewer()->PageText().isEmpty(); }, 10000));
    const QByteArray page = view->Viewer()->PageText();
    for (const char* bubble : {"<div class=\"b l\">Are we still on", "<div class=\"b r\">Yes! 7pm",
                               "<div class=\"b i\">Sent over iMessage"}) {
        EXPECT_TRUE(page.contains(bubble)) << bubble << "\n" << page.toStdString();
    }
    EXPECT_EQ(view->NumLb()->text().toStdString(), "Taylor Anna - +44 7700 900123");
    EXPECT_FALSE(view->NumLb()->text().startsWith("Loading"));
    Screenshot("view-messages");
    EXPECT_GT(ExportInto(FOut.Path() + "messages"), 0);
    EXPECT_FALSE(test::NamesBelow(FOut.Path() + "messages").empty());
}

// Right-clicks the chat part behind `anchor` where the page lays it out and picks `action` from the
// menu that opens there.
void ChooseOnPart(TMsgFrm* view, const QString& anchor, const QString& action) {
    // The page's own scripts are off; the test asks from the application's script world.
    auto where = std::make_shared<QVariantList>();
    view->Viewer()->View()->page()->runJavaScript(
        QStringLiteral("(function(){var r=document.querySelector('a[href=\"#%1\"]').getBoundingClientRect();"
                       "return [r.left+r.width/2,r.top+r.height/2];})()")
            .arg(anchor),
        QWebEngineScript::ApplicationWorld, [where](const QVariant& v) { *where = v.toList(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return where->size() == 2; }, 10000)) << anchor.toStdString();
    const QPoint at((*where)[0].toInt(), (*where)[1].toInt());
    // The menu runs its own loop: a timer picks from it.
    QTimer chooser;
    chooser.setInterval(25);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        QMenu* menu = view->PartMenu();
        if (menu == nullptr || !menu->isVisible()) {
            return;
        }
        chooser.stop();
        for (QAction* each : menu->actions()) {
            if (each->text() == action) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(each).center());
                return;
            }
        }
        menu->close();
        ADD_FAILURE() << "no " << action.toStdString();
    });
    chooser.start();
    QWidget* page = view->Viewer()->View()->focusProxy();
    QTest::mouseClick(page, Qt::RightButton, {}, at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !chooser.isActive(); }, 10000));
}

// A right click on an attachment in a chat offers to save it or open it; both give its bytes.
TEST_F(DesktopViews, ChatAttachmentsSaveAndOpenFromTheirMenu) {
    Open(3);
    auto* view = static_cast<TMsgFrm*>(Show(1));
    const QStringList names = Column(view->List(), 0);
    const auto bea =
        std::find_if(names.begin(), names.end(), [](const QString& n) { return n.startsWith("bea@"); });
    ASSERT_NE(bea, names.end()) << names.join(", ").toStdString();
    ClickRow(view->List(), static_cast<int>(bea - names.begin()));
    ASSERT_TRUE(PaneShows(view->Viewer(), QStringLiteral("application/pdf")));
    const QByteArray html = view->Viewer()->PageText();
    const qsizetype at = html.indexOf("href=\"#part-");
    ASSERT_GE(at, 0) << html.toStdString();
    const QString anchor = QString::fromUtf8(html.mid(at + 7, html.indexOf('"', at + 7) - at - 7));
    const std::string pdf = "%PDF-1.4 demo tickets\n%%EOF\n";

    QString suggested;
    view->AskSavePath = [&](const QString& name) {
        suggested = name;
        return QString::fromStdString(FOut.Path() + "saved.pdf");
    };
    ChooseOnPart(view, anchor, QString::fromUtf8("Save as\u2026"));
    EXPECT_EQ(suggested, "tickets.pdf");
    std::string saved;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadWholeFile(FOut.Path() + "saved.pdf", saved); }, 5000));
    EXPECT_EQ(saved, pdf);

    QStringList opened;
    view->OpenFile = [&opened](const QString& file) {
        opened << file;
        return true;
    };
    ChooseOnPart(view, anchor, QStringLiteral("Open with the default application"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QString::fromStdString(FFrame->Session().TempFolder())));
    EXPECT_TRUE(opened[0].endsWith(".pdf"));
    std::string copy;
    ReadWholeFile(opened[0].toStdString(), copy);
    EXPECT_EQ(copy, pdf);
    Screenshot("view-messages-attachment");

    // A HEIC picture arrives after the page, decoded at its own size; the pane serves nothing but
    // the pictures of the conversation on screen.
    const auto lyon = std::find(names.begin(), names.end(), QStringLiteral("Lyon trip"));
    ASSERT_NE(lyon, names.end());
    ClickRow(view->List(), static_cast<int>(lyon - names.begin()));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->Viewer()->PageText().contains("<img src=\"part/"); }, 10000));
    auto width = std::make_shared<int>(0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            view->Viewer()->View()->page()->runJavaScript(
                QStringLiteral("document.querySelector('img').naturalWidth"),
                QWebEngineScript::ApplicationWorld, [width](const QVariant& v) { *width = v.toInt(); });
            QTest::qWait(100);
            return *width == 64;
        },
        10000))
        << *width;
    Screenshot("view-messages-heic");
    const QByteArray lyonPage = view->Viewer()->PageText();
    const qsizetype src = lyonPage.indexOf("<img src=\"part/") + 10;
    const QString own = QString::fromUtf8(lyonPage.mid(src, lyonPage.indexOf('"', src) - src));
    for (const QString& address : {own, anchor.mid(5).prepend("part/"), QStringLiteral("part/2-999"),
                                   QStringLiteral("part/../../etc/passwd"), QStringLiteral("sms.db")}) {
        QByteArray mime = "unanswered";
        view->Viewer()->Serve(address, [&mime](const QByteArray& type, const QByteArray&) { mime = type; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return mime != "unanswered"; }, 5000)) << address.toStdString();
        EXPECT_EQ(mime, address == own ? "image/jpeg" : "") << address.toStdString();
    }
}

// Every generation of the demo, plain and encrypted: each list has its columns and rows, and each
// category exports.
class DesktopEveryView : public DesktopViews, public ::testing::WithParamInterface<int> {};

TEST_P(DesktopEveryView, ListsItsRecordsAndExports) {
    const int backup = GetParam();
    Open(backup, test::DemoRoot(), backup == 1 || backup == 4 ? "kestrow-demo" : nullptr);
    struct TCase {
        int View;
        QStringList Headers;
        const char* Name;
    };
    const std::vector<TCase> cases{
        {0, {"First name", "Last name"}, "contacts"},
        {1, {"Contacts", "Count"}, "messages"},
        {2, {"", "Date", "Duration", "Number", "Name"}, "calls"},
        {3, {"Title", "Folder", "Date"}, "notes"},
        {4, {"Start", "End", "Title", "Location"}, "calendar"},
        {6, {"", "Date", "Duration", "Number", "Name"}, "voicemail"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCategoryView* view = Show(c.View);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(Headers(view->List()), c.Headers);
        EXPECT_GT(view->List()->model()->rowCount(), 0);
        ClickRow(view->List(), 0);
        if (backup == 3) {
            Screenshot((std::string("view-") + c.Name).c_str());
        }
        EXPECT_GT(ExportInto(FOut.Path() + c.Name), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(DemoBackups, DesktopEveryView, ::testing::Values(0, 1, 3, 4));

// The demo's current notes: folders listed; the locked note asks for its password in the pane,
// says when it is wrong and shows the note once it is right.
TEST_F(DesktopViews, LockedNoteOpensWithItsPasswordInThePane) {
    Open(3);
    auto* view = static_cast<TNoteFrm*>(Show(3));
    TListView* list = view->List();
    const QStringList titles = Column(list, 0);
    const int row = static_cast<int>(titles.indexOf("Encrypted title"));
    ASSERT_GE(row, 0) << titles.join(",").toStdString();
    EXPECT_EQ(Column(list, 1)[row], "Notes");
    EXPECT_EQ(Column(list, 1)[titles.indexOf("Cottage")], "Recently Deleted");
    const auto pageText = [&] {
        QString text;
        bool done = false;
        view->Viewer()->View()->page()->toPlainText([&](const QString& t) {
            text = t;
            done = true;
        });
        return QTest::qWaitFor([&] { return done; }, 5000) ? text : QString();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 0)).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->LockPanel()->isVisible(); }, 5000));
    FForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm.get()));
    QTest::mouseClick(view->PasswordEdit(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), view->PasswordEdit());
    QTest::keyClicks(QApplication::focusWidget(), "nope");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(view->LockMessage()->text(), "Wrong password for this note.");
    EXPECT_EQ(view->PasswordEdit()->text(), "");
    Screenshot("view-notes-locked");
    ASSERT_EQ(QApplication::focusWidget(), view->PasswordEdit());
    QTest::keyClicks(QApplication::focusWidget(), "password");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(view->LockPanel()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pageText().contains("Encrypted body"); }, 10000));
    Screenshot("view-notes-opened");
    // A note with a picture in the backup, one missing from it, and a table.
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {},
        list->visualRect(list->model()->index(static_cast<int>(titles.indexOf("Cottage")), 0)).center());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return view->Viewer()->PageText().contains("<img src=\"data:image/jpeg"); }, 10000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return pageText().contains("[garden.jpg] (not in the backup)"); }, 10000));
    EXPECT_TRUE(pageText().contains("Loft\t2")) << pageText().toStdString();
    Screenshot("view-notes-pictures");
}

// A mouse click on the second row shows that record, and the export that follows writes that record
// alone.
TEST_F(DesktopViews, AClickedRowIsShownAndExported) {
    Open(3);
    struct TCase {
        int View;
        int KeyColumn; // a column that tells the records apart
        int Format;
        const char* Name;
    };
    for (const TCase& c : std::vector<TCase>{{0, 1, 2, "contacts"},
                                             {1, 0, 2, "messages"},
                                             {2, 3, 1, "calls"},
                                             {3, 0, 0, "notes"},
                                             {4, 2, 0, "calendar"},
                                             {6, 4, 0, "voicemail"}}) {
        SCOPED_TRACE(c.Name);
        TCategoryView* view = Show(c.View);
        TListView* list = view->List();
        ASSERT_GT(list->model()->rowCount(), 1);
        const QString first = list->model()->index(0, c.KeyColumn).data().toString();
        const QString second = list->model()->index(1, c.KeyColumn).data().toString();
        ClickRow(list, 1);
        EXPECT_EQ(list->SelectedRecords(), std::vector<int>{list->RowModel()->RecordAt(1)});
        if (c.View == 0) {
            EXPECT_TRUE(PaneShows(static_cast<TAbFrm*>(view)->Viewer(), second));
        } else if (c.View == 1) {
            EXPECT_TRUE(static_cast<TMsgFrm*>(view)->NumLb()->text().startsWith(second));
            EXPECT_TRUE(PaneShows(static_cast<TMsgFrm*>(view)->Viewer(), QStringLiteral(":")));
        } else if (c.View == 3) {
            EXPECT_TRUE(PaneShows(static_cast<TNoteFrm*>(view)->Viewer(), second));
        }
        Screenshot((std::string("click-") + c.Name).c_str());
        const std::string folder = FOut.Path() + "click-" + c.Name;
        EXPECT_EQ(ExportInto(folder, 0, c.Format), 1);
        const QString written = AllText(folder);
        EXPECT_TRUE(written.contains(second)) << written.left(2000).toStdString();
        if (first != second) {
            EXPECT_FALSE(written.contains(first)) << written.left(2000).toStdString();
        }
    }
    // Calendar: the comment of the clicked event.
    auto* calendar = static_cast<TCldFrm*>(FFrame->View(4));
    const int record = calendar->List()->RowModel()->RecordAt(1);
    EXPECT_EQ(calendar->NoteMm()->toPlainText(),
              "\n" + QString::fromStdString(FFrame->Session().LoadCalendar()->Events(record).Description));
}

TEST_F(DesktopViews, BackupTextsAreShownAsTextNeverAsMarkup) {
    const TTempFolder work;
    test::TContactsDb db;
    db.Persons = {{1, "<script>alert(1)</script>", "<b>Bold</b>"}};
    db.Values = {{1, 1, 3, 0, 0, std::string("<img src=x onerror=alert(1)>")}};
    test::ExecSql(work.Path() + "book", test::ContactsSql(db));
    test::ExecSql(work.Path() + "images", test::ContactImagesSql(db));
    std::string book;
    std::string images;
    ASSERT_TRUE(ReadWholeFile(work.Path() + "book", book));
    ASSERT_TRUE(ReadWholeFile(work.Path() + "images", images));
    test::TBackupPlan plan;
    plan.FolderName = "hostile";
    plan.UniqueId = "EEEE";
    plan.Files = {test::TTestFile("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", book),
                  test::TTestFile("HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb", images)};
    test::WriteBackup(work.Path() + "root/", plan);
    Open(0, work.Path() + "root/");
    auto* view = static_cast<TAbFrm*>(FFrame->View(0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Column(view->List(), 0), QStringList{"<script>alert(1)</script>"});
    EXPECT_EQ(Column(view->List(), 1), QStringList{"<b>Bold</b>"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Viewer()->PageText().isEmpty(); }, 10000));
    const QByteArray page = view->Viewer()->PageText();
    EXPECT_TRUE(page.contains("&lt;script&gt;alert(1)&lt;/script&gt;")) << page.toStdString();
    EXPECT_FALSE(page.contains("<script")) << page.toStdString();
    EXPECT_FALSE(page.contains("<img src=x")) << page.toStdString();
    Screenshot("view-contacts-hostile");
}

// A category whose database cannot be read says why inside its view, with Export off; a
// conversation with a very long name never widens the window past the screen.
TEST_F(DesktopViews, ADamagedCategorySaysWhyAndLongTitlesKeepTheWindowOnScreen) {
    const TTempFolder work;
    const std::string address = std::string(400, 'x') + "@example.com";
    test::TNewSmsDb db;
    db.Handles = {{1, address}};
    db.Chats = {{1, 45, address}};
    db.Messages = {{1, std::string("hello"), 1, 600000000}};
    db.ChatHandles = {{1, 1}};
    db.ChatMessages = {{1, 1}};
    test::ExecSql(work.Path() + "sms", test::NewSmsSql(db));
    std::string sms;
    ASSERT_TRUE(ReadWholeFile(work.Path() + "sms", sms));
    test::TBackupPlan plan;
    plan.FolderName = "long";
    plan.UniqueId = "ABCD";
    plan.Files = {test::TTestFile("HomeDomain", "Library/SMS/sms.db", sms),
                  test::TTestFile("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", "not a database"),
                  test::TTestFile("HomeDomain", "Library/Safari/Bookmarks.db", std::string(4096, '\0'))};
    test::WriteBackup(work.Path() + "root/", plan);
    Open(0, work.Path() + "root/");
    TListView* contacts = FFrame->View(0)->List();
    EXPECT_TRUE(contacts->EmptyText().startsWith("This category's database cannot be read:\n"))
        << contacts->EmptyText().toStdString();
    EXPECT_FALSE(FForm->TransBtn()->isEnabled());
    Screenshot("view-contacts-damaged");
    auto* safari = static_cast<TSfrFrm*>(Show(5));
    EXPECT_EQ(safari->UrlLst()->model()->rowCount(), 0);
    EXPECT_TRUE(safari->UrlLst()->EmptyText().startsWith("This category's database cannot be read:\n"))
        << safari->UrlLst()->EmptyText().toStdString();
    EXPECT_FALSE(FForm->TransBtn()->isEnabled());
    Screenshot("view-safari-damaged");
    auto* messages = static_cast<TMsgFrm*>(Show(1));
    EXPECT_TRUE(FForm->TransBtn()->isEnabled());
    EXPECT_TRUE(messages->NumLb()->text().contains(QString::fromStdString(address)));
    QTest::qWait(300);
    const QRect screen = FForm->screen()->availableGeometry();
    EXPECT_LE(FForm->frameGeometry().width(), screen.width());
    EXPECT_EQ(FForm->width(), 1088);
    Screenshot("view-messages-long-title");
}

// The status counts an export as it runs; Cancel stops it and the status says how far it came.
TEST_F(DesktopViews, AStoppedExportSaysHowFarItCame) {
    const TTempFolder root;
    test::TBackupPlan plan;
    plan.FolderName = "many";
    plan.UniqueId = "MANY";
    for (int i = 0; i < 3000; ++i) {
        plan.Files.push_back(
            test::TTestFile("HomeDomain", "Library/many/" + std::to_string(i) + ".txt", "x"));
    }
    test::WriteBackup(root.Path(), plan);
    Open(0, root.Path());
    auto* view = static_cast<TFileFrm*>(FFrame->View(7));
    view->List()->setFocus();
    QTest::keyClick(view->List(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(view->List()->SelectedCount(), 3000);
    FScript.AnswerMessage(QMessageBox::Ok); // "Multiple files have been selected. ..."
    FScript.Then([this](QWidget* modal) {
        auto* dialog = qobject_cast<TExportFrom*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        dialog->DestEdt()->setText(QString::fromStdString(FOut.Path() + "stopped"));
        QMetaObject::invokeMethod(dialog->OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
    int count = -1;
    QObject::connect(FFrame, &TBackFrame::ExportDone, [&count](int n) { count = n; });
    ASSERT_TRUE(FFrame->ExportView());
    const QString running = FFrame->StatusText();
    QTest::mouseClick(FFrame->CancelBtn(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count >= 0; }, 60000));
    EXPECT_TRUE(running.startsWith("  Exporting Files")) << running.toStdString();
    EXPECT_LT(count, 3000);
    EXPECT_EQ(FFrame->StatusText(), "  Stopped after " + QString::number(count) + " of 3000");
    EXPECT_EQ(static_cast<int>(test::NamesBelow(FOut.Path() + "stopped").size()), count);
}

TEST_F(DesktopViews, FileBrowserPreviewsPicturesAndNamesTypes) {
    const std::string png = PngOf(10, 5);
    const TTempFolder root;
    test::TBackupPlan plan;
    plan.FolderName = "pictures";
    plan.UniqueId = "FFFF";
    plan.Files = {test::TTestFile("MediaDomain", "Media/DCIM/small.png", png),
                  test::TTestFile("HomeDomain", "Library/Preferences/a.plist", "<plist/>"),
                  test::TTestFile("AppDomain-com.example.app", "Documents/b.txt", "app")};
    test::WriteBackup(root.Path(), plan);
    Open(0, root.Path());
    auto* view = static_cast<TFileFrm*>(FFrame->View(7));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Column(view->List(), 0), (QStringList{"Media/DCIM/small.png", "Library/Preferences/a.plist"}));
    view->AppCb()->setChecked(true);
    EXPECT_EQ(Column(view->List(), 0), QStringList{"example.app/Documents/b.txt"});
    view->AppCb()->setChecked(false);
    view->List()->SelectRow(0);
    view->FileClicked(0);
    // Enlarged to the box width, smoothly: 10 x 5 becomes 169 x 84 (84.5, halves to even).
    EXPECT_EQ(view->ViewImg()->pixmap().size(), QSize(169, 84));
    EXPECT_EQ(view->InfoLb()->text().toStdString(),
              "Image file\n" + SizeText(static_cast<std::int64_t>(png.size())).toStdString());
    view->List()->selectAll();
    view->FileClicked(1);
    const QStringList lines = view->InfoLb()->text().split('\n');
    ASSERT_EQ(lines.size(), 3) << view->InfoLb()->text().toStdString();
    // The type's name as the system's type database gives it, else after the extension.
    EXPECT_TRUE(lines[0] == "PLIST file" ||
                (!lines[0].isEmpty() && lines[0] != "unknown" && lines[0] != "Image file"))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "2 files selected");
    EXPECT_EQ(lines[2], SizeText(static_cast<std::int64_t>(png.size()) + 8));
    Screenshot("view-files-preview");
}

// Play never ends the program: without an audio output (as under Xvfb) or when the player fails, a
// private copy of the audio goes to the desktop's default application, and the view says so.
TEST_F(DesktopViews, VoicemailPlaySurvivesAMachineWithoutAudio) {
    Open(0);
    auto* view = static_cast<TVmlFrm*>(Show(6));
    QStringList opened;
    view->OpenFile = [&opened](const QString& file) {
        opened << file;
        return true;
    };
    QTest::mouseClick(view->PlayBtn(), Qt::LeftButton); // nothing chosen: nothing happens
    EXPECT_EQ(view->Player(), nullptr);
    EXPECT_EQ(view->StateLb()->text(), "");
    ClickRow(view->List(), 0);
    QTest::mouseClick(view->PlayBtn(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !opened.isEmpty() || (view->Player() != nullptr &&
                                         view->Player()->playbackState() == QMediaPlayer::PlayingState);
        },
        20000));
    QTest::qWait(2500); // past the moment the audio thread used to take the process down
    Screenshot("view-voicemail-play");
    if (!opened.isEmpty()) {
        const QString state = view->StateLb()->text();
        EXPECT_TRUE(state.endsWith("\nOpened with the desktop's default application."))
            << state.toStdString();
        ASSERT_EQ(opened.size(), 1);
        EXPECT_TRUE(opened[0].startsWith(QString::fromStdString(FFrame->Session().TempFolder())))
            << opened[0].toStdString();
        std::string copy;
        std::string original;
        ReadWholeFile(opened[0].toStdString(), copy);
        const int record = view->List()->RowModel()->RecordAt(0);
        FFrame->Session().LoadBackupFile(FFrame->Session().LoadVoiceMail()->Voicemails(record).AudioPath(),
                                         original);
        EXPECT_EQ(copy, original);
    } else {
        view->Player()->stop();
    }
}

TEST_F(DesktopViews, CalendarCommentCannotBeCopied) {
    Open(0);
    auto* view = static_cast<TCldFrm*>(Show(4));
    ClickRow(view->List(), 0);
    EXPECT_TRUE(view->NoteMm()->toPlainText().startsWith("\n"));
    QTest::keyClick(view->NoteMm(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(view->NoteMm()->toPlainText(), "Please use the Export function.");
}

TEST_F(DesktopViews, SafariTreeHasItsTwoGroups) {
    Open(3);
    auto* view = static_cast<TSfrFrm*>(Show(5));
    QAbstractItemModel* model = view->UrlLst()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(0, 0).data().toString(), "Bookmarks");
    EXPECT_EQ(model->index(1, 0).data().toString(), "Histories");
    EXPECT_TRUE(view->UrlLst()->isExpanded(model->index(0, 0)));
    EXPECT_FALSE(view->UrlLst()->isExpanded(model->index(1, 0)));
    EXPECT_EQ(Headers(view->UrlLst()), (QStringList{"Name", "Url ( Double click to open )", "Info"}));
    QStringList opened;
    view->OpenUrl = [&opened](const QString& url) { opened << url; };
    const QModelIndex bookmark = model->index(0, 1, model->index(0, 0));
    emit view->UrlLst()->doubleClicked(bookmark);
    EXPECT_EQ(opened, QStringList{bookmark.data().toString()});
    Screenshot("view-safari");
    // "This list" typed in the search box keeps the matching rows and their group on screen; the
    // export writes only those.
    FForm->SearchEdt()->setFocus();
    QTest::keyClicks(FForm->SearchEdt(), QStringLiteral("TRAINS"));
    QTreeView* tree = view->UrlLst();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->isRowHidden(1, {}); }, 5000)); // no history matches
    QStringList listed;
    QModelIndex shown;
    for (int r = 0; r < model->rowCount(model->index(0, 0)); ++r) {
        if (!tree->isRowHidden(r, model->index(0, 0))) {
            shown = model->index(r, 1, model->index(0, 0));
            listed << shown.siblingAtColumn(0).data().toString();
        }
    }
    ASSERT_EQ(listed, QStringList{"Trains"});
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(shown).center());
    QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              "Trains\thttps://trains.example/timetable\tBookmarksBar\\Travel");
    Screenshot("view-safari-filtered");
    EXPECT_EQ(ExportInto(FOut.Path() + "safari"), 1);
    EXPECT_EQ(view->UrlLst()->PlaceholderText(), "");
    QTest::keyClicks(FForm->SearchEdt(), QStringLiteral("zzz")); // nothing holds it: both groups go
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->isRowHidden(0, {}); }, 5000));
    EXPECT_EQ(view->UrlLst()->PlaceholderText(), "No match");
    Screenshot("view-safari-no-match");
}

TEST_F(DesktopViews, FileBrowserFiltersPreviewsAndExportsASelection) {
    Open(0);
    auto* view = static_cast<TFileFrm*>(Show(7));
    const int all = view->List()->model()->rowCount();
    view->FilterCb()->setCurrentText(QStringLiteral("jpg"));
    const int pictures = view->List()->model()->rowCount();
    EXPECT_GT(pictures, 0);
    EXPECT_LT(pictures, all);
    for (const QString& key : Column(view->List(), 0)) {
        EXPECT_TRUE(key.toLower().endsWith(".jpg")) << key.toStdString();
    }
    view->FilterCb()->setCurrentText(QString());
    EXPECT_EQ(view->List()->model()->rowCount(), all);
    view->FilterCb()->setCurrentIndex(0);
    EXPECT_EQ(view->List()->model()->rowCount(), all);

    // Nothing selected: the warning, nothing exported.
    FScript.AnswerMessage(QMessageBox::Ok);
    EXPECT_FALSE(FFrame->ExportView());
    EXPECT_EQ(FScript.Messages.back(),
              "No file has been selected.\nPlease select the files you want to export.");

    view->FilterCb()->setCurrentText(QStringLiteral("JPG"));
    ASSERT_GT(view->List()->model()->rowCount(), 0);
    view->List()->SelectRow(0);
    view->FileClicked(0);
    const QString info = view->InfoLb()->text();
    EXPECT_TRUE(info.startsWith("Image file\n") && info.endsWith(" KB")) << info.toStdString();
    Screenshot("view-files");
    // With their full paths, twice into one folder: the second run writes nothing and says why.
    view->List()->selectAll();
    EXPECT_EQ(ExportInto(FOut.Path() + "files", 0, 1), pictures);
    FScript.Messages.clear();
    EXPECT_EQ(ExportInto(FOut.Path() + "files", 0, 1, 1), 0);
    ASSERT_EQ(FScript.Messages.size(), 1u);
    EXPECT_TRUE(
        FScript.Messages[0].startsWith(QString::number(pictures) + " item(s) could not be written:\n"))
        << FScript.Messages[0].toStdString();
    EXPECT_TRUE(FScript.Messages[0].contains("File exists")) << FScript.Messages[0].toStdString();
}

} // namespace
} // namespace kestrow

namespace kestrow {
namespace {

TEST_F(DesktopViews, PhotosGridByMonthPreviewsTheClickedPictureWithItsDate) {
    Open(3);
    auto* view = static_cast<TPhotoFrm*>(Show(8));
    ASSERT_NE(view, nullptr);
    QListView* grid = view->Grid();
    const auto names = [grid] {
        QStringList texts;
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            texts << grid->model()->index(row, 0).data().toString();
        }
        return texts;
    };
    // Hidden and deleted pictures stay out; files without a date of their own take the manifest's.
    EXPECT_EQ(names(), (QStringList{"June 2023", "IMG_0004.MOV", "IMG_0001.HEIC", "December 2022",
                                    "IMG_0005.JPG", "September 2016", "IMG_0003.MOV", "IMG_0002.JPG"}));
    const auto click = [grid](int row, bool twice = false) {
        // Rows are laid out in batches after the model is set.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return grid->visualRect(grid->model()->index(row, 0)).isValid(); }, 5000));
        const QPoint centre = grid->visualRect(grid->model()->index(row, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
        if (twice) {
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, centre);
        }
    };
    click(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->PictureLb()->pixmap().isNull(); }, 10000));
    const QSize shown = view->PictureLb()->pixmap().size();
    EXPECT_NEAR(shown.width() * 3 / 4, shown.height(), 1); // the picture's 4:3, upright
    EXPECT_TRUE(
        view->InfoLb()->text().startsWith("IMG_0001.HEIC\n06/01/23 10:00:00\n48.85840, 2.29450\n64 x 48\n"))
        << view->InfoLb()->text().toStdString();
    QTest::qWait(300); // thumbnails fill in
    Screenshot("view-photos");

    view->FilterCb()->setFocus();
    QTest::keyClick(view->FilterCb(), Qt::Key_End);
    EXPECT_EQ(view->FilterCb()->currentText(), "Recently Deleted");
    EXPECT_EQ(names(), (QStringList{"June 2023", "IMG_0002.JPG"}));
    QString opened;
    view->OpenFile = [&opened](const QString& path) { opened = path; };
    click(1, true);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->PictureLb()->text() == "Cannot show this picture"; }, 10000));
    EXPECT_EQ(test::FileText(opened.toStdString()), "not a picture");
    Screenshot("view-photos-deleted");
}

// A video shows its first frame with its duration over it, from a plain backup's own file and from
// an encrypted one's decrypted copy; one that does not play keeps its icon, in the grid and the preview.
// Without a library, the duration is the one the player finds.
TEST_F(DesktopViews, PhotosShowAVideosFirstFrameElseItsIcon) {
    for (const bool encrypted : {false, true}) {
        const TTempFolder root;
        test::TBackupPlan plan;
        plan.FolderName = "videos";
        plan.Encrypted = encrypted;
        plan.Files = {
            test::TTestFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0010.MOV",
                            test::TestMovie(64, 48, 30, 220, 30, 30)), // 3 s
            test::TTestFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0011.MOV", "moov, but no movie")};
        test::WriteBackup(root.Path(), plan);
        Open(0, root.Path(), encrypted ? "secret" : nullptr);
        auto* view = static_cast<TPhotoFrm*>(Show(8));
        ASSERT_NE(view, nullptr);
        QListView* grid = view->Grid();
        ASSERT_EQ(grid->model()->rowCount(), 3); // "September 2016", then the two by the manifest's time
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return grid->visualRect(grid->model()->index(2, 0)).isValid(); }, 5000));
        const auto pixel = [grid](int row) {
            const QRect cell = grid->visualRect(grid->model()->index(row, 0));
            return grid->viewport()->grab().toImage().pixelColor(cell.center() + QPoint(0, -10));
        };
        const int movie = grid->model()->index(1, 0).data().toString() == "IMG_0010.MOV" ? 1 : 2;
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return pixel(movie).red() > 180 && pixel(movie).green() < 80; }, 10000))
            << pixel(movie).name().toStdString();
        QTest::qWait(TVideoFrames::kWaitMs + 500);
        EXPECT_EQ(pixel(3 - movie), QColor(0x30, 0x30, 0x30)); // the icon's ground
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(3 - movie, 0)).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->PictureLb()->text() == "Video"; }, 5000));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(movie, 0)).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view->PictureLb()->pixmap().isNull(); }, 10000));
        const QImage frame = view->PictureLb()->pixmap().toImage();
        EXPECT_NEAR(frame.width() * 3 / 4, frame.height(), 1);
        EXPECT_GT(frame.pixelColor(frame.rect().center()).red(), 180);
        const QString info = view->InfoLb()->text();
        EXPECT_TRUE(info.startsWith("IMG_0010.MOV\n09/27/16") && info.contains("\n\u25B6 0:03\n"))
            << info.toStdString();
        EXPECT_EQ(view->Model()->VideoLabel(view->Model()->RecordAt(movie)).toStdString(), "\u25B6 0:03");
        EXPECT_EQ(view->Model()->VideoLabel(view->Model()->RecordAt(3 - movie)).toStdString(),
                  "\u25B6 Video");
        Screenshot(encrypted ? "view-photos-videos-encrypted" : "view-photos-videos");
        FForm.reset();
    }
}

} // namespace
} // namespace kestrow
