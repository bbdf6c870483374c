#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "demo_root.h"
#include "device/ipod_device.h"
#include "modal_script.h"
#include "platform/file_io.h"
#include "support/backup_writer.h"
#include "support/file_tree.h"
#include "support/keybag_writer.h"
#include "ui/back_frame.h"
#include "ui/bk_select_form.h"
#include "ui/category_view.h"
#include "ui/check_form.h"
#include "ui/export_form.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/log_form.h"
#include "ui/main_form.h"
#include "ui/pass_form.h"
#include "ui/views/ab_frm.h"
#include "ui/views/vml_frm.h"

namespace kestrow {
namespace {

using test::TModalScript;

// Waits (running the event loop) until `done` holds.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 60000) {
    return QTest::qWaitFor(done, timeoutMs);
}

// Chooses backup `index` in the selection dialog.
void ChooseInDialog(TModalScript& script, int index, std::vector<QString>* rows = nullptr,
                    const char* screenshot = nullptr) {
    std::string name = screenshot != nullptr ? screenshot : "";
    script.Then([index, rows, name](QWidget* modal) {
        auto* dialog = qobject_cast<TBkSelectForm*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        if (rows != nullptr) {
            for (int g = 0; g < dialog->LibLst()->topLevelItemCount(); ++g) {
                QTreeWidgetItem* group = dialog->LibLst()->topLevelItem(g);
                if (group->isHidden()) {
                    continue;
                }
                rows->push_back(QStringLiteral("[") + group->text(0) + QStringLiteral("]"));
                for (int r = 0; r < group->childCount(); ++r) {
                    QTreeWidgetItem* row = group->child(r);
                    const bool locked = !row->icon(2).isNull();
                    rows->push_back(row->text(0) + QStringLiteral(" | ") + row->text(1) +
                                    (locked ? QStringLiteral(" | ") + row->text(2) : QString()) +
                                    (row->isSelected() ? QStringLiteral(" *") : QString()));
                }
            }
        }
        if (!name.empty()) {
            test::SaveScreenshot(dialog, name);
        }
        dialog->SelectRow(index);
        QMetaObject::invokeMethod(dialog->ReadBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
}

// Types `text` into the password dialog and presses OK.
void TypePassword(TModalScript& script, const QString& text, const char* screenshot = nullptr) {
    std::string name = screenshot != nullptr ? screenshot : "";
    script.Then([text, name](QWidget* modal) {
        auto* dialog = qobject_cast<TPassForm*>(modal);
        if (dialog == nullptr || !dialog->OkBtn()->isEnabled()) {
            return false;
        }
        dialog->PassEdt()->setText(text);
        if (!name.empty()) {
            test::SaveScreenshot(dialog, name);
        }
        QMetaObject::invokeMethod(dialog->OkBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
}

class DesktopApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(test::DemoRoot().empty());
        test::ForgetSettings();
    }
    // A main window on the demo backups with backup `index` open.
    std::unique_ptr<TMainForm> OpenMain(int index, const char* password = nullptr) {
        auto form = std::make_unique<TMainForm>(test::DemoRoot(), "");
        ChooseInDialog(FScript, index);
        if (password != nullptr) {
            TypePassword(FScript, QString::fromUtf8(password));
        }
        form->show();
        EXPECT_TRUE(WaitFor([&] { return form->BackFrame() != nullptr && form->BackFrame()->ViewShown(); }));
        EXPECT_TRUE(FScript.Done());
        return form;
    }
    TModalScript FScript;
};

TEST_F(DesktopApp, FirstActivationOffersTheChoiceAndShowsTheFirstCategory) {
    TMainForm form(test::DemoRoot(), "");
    EXPECT_EQ(form.windowTitle(), "Kestrow 2.1");
    EXPECT_FALSE(form.TransBtn()->isEnabled());
    EXPECT_FALSE(form.SearchEdt()->isEnabled());
    std::vector<QString> rows;
    ChooseInDialog(FScript, 0, &rows, "open-backup");
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.BackFrame() != nullptr && form.BackFrame()->ViewShown(); }));
    EXPECT_EQ(form.size(), QSize(1088, 674));
    // Nothing opened before: the dialog preselects the newest backup; a lock marks encrypted ones.
    EXPECT_EQ(rows,
              (std::vector<QString>{"[Backups found in this computer]", "Anna's iPhone | 05/10/12 08:15:30",
                                    "Anna's iPhone | 11/05/12 09:30:00 | Yes", "Ben's iPod touch | 01/01/10",
                                    "Chloe's iPhone 15 | 10/01/24 10:00:00",
                                    "Chloe's iPhone 15 | 11/05/24 10:15:00 | Yes *"}));
    TBackFrame* frame = form.BackFrame();
    for (int view = 0; view < TBackFrame::kViewCount; ++view) {
        EXPECT_TRUE(frame->CategoryButton(view)->isEnabled()) << view;
    }
    EXPECT_TRUE(frame->CategoryButton(0)->isChecked());
    EXPECT_EQ(frame->ActiveCategory(), 0);
    EXPECT_EQ(frame->StatusText(), "  Anna's iPhone @ 05/10/12 08:15:30");
    EXPECT_EQ(form.windowTitle(), "Anna's iPhone - Kestrow 2.1");
    EXPECT_TRUE(form.TransBtn()->isEnabled());
    EXPECT_TRUE(form.SearchEdt()->isEnabled());
    QTest::qWait(300);
    test::SaveScreenshot(&form, "main-contacts");
    form.close();
    // The next run offers the backup opened last.
    TMainForm again(test::DemoRoot(), "");
    rows.clear();
    ChooseInDialog(FScript, 0, &rows);
    again.show();
    ASSERT_TRUE(WaitFor([&] { return FScript.Done(); }));
    EXPECT_EQ(rows[1], "Anna's iPhone | 05/10/12 08:15:30 *");
}

TEST_F(DesktopApp, TheOldestLayoutEnablesOnlyTheFilesAndShowsThem) {
    auto form = OpenMain(2);
    TBackFrame* frame = form->BackFrame();
    for (int view = 0; view < 7; ++view) {
        EXPECT_FALSE(frame->CategoryButton(view)->isEnabled()) << view;
    }
    EXPECT_TRUE(frame->CategoryButton(7)->isChecked());
    EXPECT_EQ(frame->ActiveCategory(), 7);
    // Choosing the open backup again changes nothing.
    ChooseInDialog(FScript, 2);
    form->BackBtnClick();
    EXPECT_TRUE(FScript.Done());
    EXPECT_EQ(frame->ActiveCategory(), 7);
    test::SaveScreenshot(form.get(), "main-files-oldest-layout");
}

TEST_F(DesktopApp, AnEncryptedBackupAsksForItsPasswordUntilItIsRight) {
    TMainForm form(test::DemoRoot(), "");
    ChooseInDialog(FScript, 1);
    TypePassword(FScript, "   ");
    FScript.AnswerMessage(QMessageBox::Ok);
    TypePassword(FScript, "wrong", "password");
    QString shown;
    FScript.Then([&shown](QWidget* modal) { // the answer stands in the dialog itself
        auto* dialog = qobject_cast<TPassForm*>(modal);
        if (dialog == nullptr || !dialog->ErrorLb()->isVisible()) {
            return false;
        }
        shown = dialog->ErrorLb()->text();
        test::SaveScreenshot(dialog, "wrong-password");
        return true;
    });
    // Blanks around the password are dropped when the text as typed is wrong.
    TypePassword(FScript, " kestrow-demo ");
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.BackFrame() != nullptr && form.BackFrame()->ViewShown(); }));
    EXPECT_EQ(FScript.Messages,
              (std::vector<QString>{"Please input the password.\nOr decrypt this backup first "
                                    "in the iTunes."}));
    EXPECT_EQ(shown, "Wrong password.");
    EXPECT_EQ(form.BackFrame()->Session().CurrentIndex(), 1);
    EXPECT_EQ(form.BackFrame()->StatusText(), "  Anna's iPhone @ 11/05/12 09:30:00");
}

TEST_F(DesktopApp, APasswordWithBlanksIsTriedAsTyped) {
    const TTempFolder root;
    test::TBackupPlan plan;
    plan.FolderName = "blanks";
    plan.UniqueId = "BBBB";
    plan.Encrypted = true;
    plan.Password = " pass ";
    plan.Files = {test::TTestFile("HomeDomain", "Library/Notes.txt", "text")};
    test::WriteBackup(root.Path(), plan);
    TMainForm form(root.Path(), "");
    ChooseInDialog(FScript, 0);
    TypePassword(FScript, " pass ");
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.BackFrame() != nullptr && form.BackFrame()->ViewShown(); }));
    EXPECT_TRUE(FScript.Messages.empty());
    EXPECT_EQ(form.BackFrame()->Session().CurrentIndex(), 0);
}

// Damaged backups as they turn up: each says what is wrong where it happens, and the window stays
// usable: the backup open before comes back, Export is off while nothing is open.
TEST_F(DesktopApp, DamagedBackupsSayWhyAndTheWindowStaysUsable) {
    const TTempFolder root;
    test::TBackupPlan plan;
    plan.UniqueId = "CCCC";
    plan.Files = {test::TTestFile("HomeDomain", "Library/Notes.txt", "text")};
    plan.FolderName = "a-good";
    test::WriteBackup(root.Path(), plan);
    plan.Encrypted = true;
    plan.FolderName = "b-keybag-type-2";
    plan.KeyBagBlock = test::TTestKeyBag("secret", 10, 3, 2).AddClass(1).Block();
    test::WriteBackup(root.Path(), plan);
    plan.FolderName = "c-keybag-overrun";
    test::TTlvWriter overrun;
    overrun.Int("TYPE", 1).Tag("UUID", TBytes(16)).Raw(std::string("WPKY\x00\x00\x01\x00", 8) + "abc");
    plan.KeyBagBlock = overrun.Bytes();
    test::WriteBackup(root.Path(), plan);
    plan.Encrypted = false;
    plan.KeyBagBlock.reset();
    plan.FolderName = "d-bad-manifest";
    plan.Layout = test::TLayout::ManifestDb;
    const std::string bad = test::WriteBackup(root.Path(), plan);
    test::WriteTestFile(bad + "Manifest.db", "not a database at all");

    TMainForm form(root.Path(), "");
    ChooseInDialog(FScript, 0);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.BackFrame() != nullptr && form.BackFrame()->ViewShown(); }));
    TBackFrame* frame = form.BackFrame();
    // The key store is judged in the password dialog, which says so and stays open.
    std::vector<QString> said;
    for (int index : {1, 2}) {
        ChooseInDialog(FScript, index);
        TypePassword(FScript, "secret");
        FScript.Then([&said, index](QWidget* modal) {
            auto* dialog = qobject_cast<TPassForm*>(modal);
            if (dialog == nullptr || !dialog->ErrorLb()->isVisible()) {
                return false;
            }
            said.push_back(dialog->ErrorLb()->text());
            test::SaveScreenshot(dialog, index == 1 ? "damaged-key-store" : "damaged-key-store-overrun");
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
            return true;
        });
        form.BackBtnClick();
        ASSERT_TRUE(FScript.Done());
    }
    EXPECT_EQ(said,
              (std::vector<QString>{"This backup's key store is damaged: its type is not one a backup uses.",
                                    "This backup's key store is damaged: it holds no readable class key."}));
    EXPECT_EQ(frame->Session().CurrentIndex(), 0);
    EXPECT_TRUE(form.TransBtn()->isEnabled());

    // A manifest that cannot be read: the reason, Export off while the message is up, then the
    // backup open before is back.
    ChooseInDialog(FScript, 3);
    bool exportWhileFailed = true;
    FScript.Then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        FScript.Messages.push_back(box->text());
        exportWhileFailed = form.TransBtn()->isEnabled();
        test::SaveScreenshot(box, "open-failure-reason");
        QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click,
                                  Qt::QueuedConnection);
        return true;
    });
    form.BackBtnClick();
    ASSERT_TRUE(WaitFor([&] { return FScript.Done() && !frame->Busy() && frame->ViewShown(); }));
    EXPECT_EQ(FScript.Messages,
              (std::vector<QString>{QString::fromStdString(
                  "Cannot open the selected backup.\nIts manifest (Manifest.db) cannot be read "
                  "or lists no file.\nFolder: " +
                  bad)}));
    EXPECT_FALSE(exportWhileFailed);
    EXPECT_EQ(frame->Session().CurrentIndex(), 0);
    EXPECT_EQ(frame->StatusText(), "  Test iPhone @ 05/10/12 08:15:30");
    EXPECT_TRUE(form.TransBtn()->isEnabled());
    test::SaveScreenshot(&form, "open-failure-previous-back");
}

TEST_F(DesktopApp, AFailedFirstOpeningLeavesTheStartState) {
    const TTempFolder root;
    test::TBackupPlan noManifest;
    noManifest.FolderName = "b-no-manifest";
    noManifest.UniqueId = "DDDD";
    noManifest.Encrypted = true;
    noManifest.Layout = test::TLayout::Old; // encrypted but no manifest to read: status 2
    noManifest.Files = {test::TTestFile("HomeDomain", "Library/Notes.txt", "text")};
    test::WriteBackup(root.Path(), noManifest);
    TMainForm form(root.Path(), "");
    ChooseInDialog(FScript, 0);
    TypePassword(FScript, "secret");
    FScript.AnswerMessage(QMessageBox::Ok);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return FScript.Done() && form.BackFrame() && !form.BackFrame()->Busy(); }));
    EXPECT_EQ(
        FScript.Messages,
        (std::vector<QString>{"Cannot read the data.\nThe backup is either encrypted or damanged.\nPlease "
                              "try to decrypt it from iTunes first.\nIt has no manifest that can be "
                              "read.\nFolder: " +
                              QString::fromStdString(root.Path()) + "b-no-manifest/"}));
    TBackFrame* frame = form.BackFrame();
    EXPECT_FALSE(frame->Toolbar()->isVisible());
    EXPECT_EQ(frame->StatusText(), "  No backup is open.");
    EXPECT_FALSE(form.TransBtn()->isEnabled());
    EXPECT_EQ(frame->ActiveCategory(), -1);
    EXPECT_EQ(form.windowTitle(), "Kestrow 2.1");
    test::SaveScreenshot(&form, "open-failure-start-state");
}

// With a device connected but no backup of it: the choice offers the device, which has nothing to
// refresh. Unplugging it resets the caption after the timer and arms a fresh watcher.
TEST_F(DesktopApp, AConnectedDeviceIsOfferedAndItsUnplugResetsTheCaption) {
    void* fake = ::dlopen(FAKE_LIBRARY, RTLD_NOW);
    ASSERT_NE(fake, nullptr);
    auto fire = reinterpret_cast<void (*)(int, const char*)>(::dlsym(fake, "fake_fire"));
    const TTempFolder root;
    TMainForm form(root.Path(), FAKE_LIBRARY);
    fire(1, "00008030-001A");
    std::vector<QString> rows;
    ChooseInDialog(FScript, -2, &rows, "open-device");
    FScript.AnswerMessage(QMessageBox::Ok);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return FScript.Done(); }));
    EXPECT_EQ(rows, (std::vector<QString>{"[Connected device]", "Anna's iPhone | Connected *"}));
    EXPECT_EQ(FScript.Messages,
              (std::vector<QString>{"Please back up your device in the iTunes.\nThen, run this "
                                    "program again to read the content of created backup."}));
    fire(2, "00008030-001A");
    ASSERT_TRUE(WaitFor([&] { return form.windowTitle() == "Kestrow"; }, 5000));
    EXPECT_TRUE(form.Device()->Helper().Loaded());
    EXPECT_FALSE(form.Device()->Helper().Connected());
    // The watcher made after the unplug is the one that hears the next plug.
    fire(1, "00008030-001A");
    EXPECT_TRUE(WaitFor([&] { return form.Device()->Helper().Connected(); }, 5000));
    form.close();
    ::dlclose(fake);
}

// No backup in the root: the message names the folder searched and "Open folder..." looks
// elsewhere; a folder dropped on the window does the same, a backup folder preselecting itself.
TEST_F(DesktopApp, NoBackupAtTheStartOffersAnotherFolderOrADrop) {
    const TTempFolder root;
    TMainForm form(root.Path(), "");
    QString pickedFrom;
    FScript.Then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        FScript.Messages.push_back(box->text());
        test::SaveScreenshot(box, "no-backup");
        form.BackFrame()->PickFolder = [&pickedFrom](const QString& start) {
            pickedFrom = start;
            return QString::fromStdString(test::DemoRoot());
        };
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == "Open folder...") {
                QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
            }
        }
        return true;
    });
    std::vector<QString> rows;
    ChooseInDialog(FScript, 3, &rows);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.BackFrame() != nullptr && form.BackFrame()->ViewShown(); }));
    EXPECT_EQ(FScript.Messages,
              (std::vector<QString>{"Cannot find iOS backup in this computer.\nPlease back up your "
                                    "device in the iTunes first.\n\nSearched folder: " +
                                    QString::fromStdString(root.Path())}));
    EXPECT_EQ(pickedFrom, QString::fromStdString(root.Path()));
    EXPECT_EQ(form.BackFrame()->Session().CurrentIndex(), 3);
    EXPECT_EQ(form.windowTitle(), "Chloe's iPhone 15 - Kestrow 2.1");

    // A backup folder dropped on the window: its parent is looked in, and it is offered first.
    const std::string dropped = form.BackFrame()->Session().Backups()[0].Path;
    rows.clear();
    FScript.Then([&rows](QWidget* modal) {
        auto* dialog = qobject_cast<TBkSelectForm*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        rows.push_back(QString::number(dialog->SelectedIndex()));
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        return true;
    });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    ASSERT_TRUE(WaitFor([&] { return FScript.Done(); }));
    EXPECT_EQ(rows, std::vector<QString>{"0"});
    EXPECT_EQ(form.BackFrame()->Session().Root(), test::DemoRoot());
}

TEST_F(DesktopApp, TheExportDialogCaptionsValidationAndRememberedFolder) {
    const TTempFolder work;
    {
        TExportFrom dialog;
        EXPECT_EQ(dialog.windowTitle(), "Export");
        EXPECT_EQ(dialog.DestEdt()->text(),
                  QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/"));
        dialog.Prepare(6, 0);
        EXPECT_EQ(dialog.windowTitle(), "Export Voicemail");
        EXPECT_EQ(dialog.OKBtn()->text(), "Export all voicemails");
        dialog.Prepare(6, 1);
        EXPECT_EQ(dialog.OKBtn()->text(), "Export selected 1 voicemail");
        dialog.Prepare(6, 2);
        EXPECT_EQ(dialog.OKBtn()->text(), "Export selected 2 voicemails");
        EXPECT_EQ(dialog.FormatRg()->count(), 1);
        dialog.Prepare(7, 0);
        EXPECT_FALSE(dialog.OKBtn()->isEnabled());
        dialog.Prepare(0, 12);
        EXPECT_TRUE(dialog.OKBtn()->isEnabled());
        EXPECT_EQ(dialog.FormatRg()->itemText(3), "Only export contacts' photo");

        FScript.Then([&](QWidget* modal) {
            if (modal != &dialog || !FScript.Messages.empty()) {
                return false;
            }
            test::SaveScreenshot(&dialog, "export-dialog");
            dialog.DestEdt()->setText(QStringLiteral("  \t "));
            QMetaObject::invokeMethod(dialog.OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        FScript.AnswerMessage(QMessageBox::Ok);
        FScript.Then([&](QWidget* modal) {
            if (modal != &dialog || FScript.Messages.size() != 1) {
                return false;
            }
            EXPECT_EQ(dialog.DestEdt()->text(), "");
            dialog.DestEdt()->setText(QStringLiteral("/proc/kestrow/out"));
            QMetaObject::invokeMethod(dialog.OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        FScript.AnswerMessage(QMessageBox::Ok);
        FScript.Then([&](QWidget* modal) {
            if (modal != &dialog || FScript.Messages.size() != 2) {
                return false;
            }
            dialog.DestEdt()->setText(QString::fromStdString(" " + work.Path() + "made/here \n"));
            QMetaObject::invokeMethod(dialog.OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(FScript.Messages,
                  (std::vector<QString>{"Please input the path where you want to save the data.",
                                        "Cannot find or create folder \"/proc/kestrow/out\"."}));
        EXPECT_EQ(dialog.Destination(), QString::fromStdString(work.Path() + "made/here/"));
        EXPECT_TRUE(QDir(QString::fromStdString(work.Path() + "made/here")).exists());
    }
    {
        TExportFrom dialog; // remembers the trimmed folder
        EXPECT_EQ(dialog.DestEdt()->text(), QString::fromStdString(work.Path() + "made/here"));
        dialog.DestEdt()->setText(QStringLiteral("   "));
        dialog.reject(); // Cancel stores as well: an empty folder
    }
    TExportFrom dialog;
    EXPECT_EQ(dialog.DestEdt()->text(),
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/"));
}

TEST_F(DesktopApp, ExportFromAViewWritesWhereChosenAndSaysHowMany) {
    auto form = OpenMain(0);
    TBackFrame* frame = form->BackFrame();
    QString opened;
    frame->OpenFolder = [&opened](const QString& folder) { opened = folder; };
    const TTempFolder out;
    const std::string insideBackup = test::DemoRoot() + "3d0d7e5fb2ce288813306e4d4636395e047a3d28/out";
    FScript.Then([&](QWidget* modal) {
        auto* dialog = qobject_cast<TExportFrom*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        dialog->DestEdt()->setText(QString::fromStdString(insideBackup));
        QMetaObject::invokeMethod(dialog->OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
    FScript.AnswerMessage(QMessageBox::Ok);
    FScript.Then([&](QWidget* modal) {
        auto* dialog = qobject_cast<TExportFrom*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        EXPECT_EQ(dialog->windowTitle(), "Export Address Book");
        EXPECT_EQ(dialog->OKBtn()->text(), "Export all contacts");
        dialog->DestEdt()->setText(QString::fromStdString(out.Path()));
        dialog->FormatRg()->setCurrentIndex(2); // CSV
        QMetaObject::invokeMethod(dialog->OKBtn(), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
    FScript.AnswerMessage(QMessageBox::Ok, "export-done"); // opens the folder
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return FScript.Done() && !frame->Busy(); }));
    ASSERT_EQ(FScript.Messages.size(), 2u);
    EXPECT_EQ(FScript.Messages[0],
              "Nothing is ever written inside a backup folder.\nPlease choose another folder.");
    EXPECT_EQ(FScript.Messages[1], frame->StatusText().mid(2) + " to \"" +
                                       QString::fromStdString(out.Path()) +
                                       "\".\nClick OK to open the folder.");
    EXPECT_FALSE(QDir(QString::fromStdString(insideBackup)).exists());
    EXPECT_EQ(test::NamesBelow(out.Path()), (std::vector<std::string>{"Anna's iPhone_Contact.csv"}));
    EXPECT_EQ(opened, QString::fromStdString(out.Path()));
    EXPECT_TRUE(frame->StatusText().endsWith(" exported")) << frame->StatusText().toStdString();
    EXPECT_TRUE(frame->CategoryButton(0)->isEnabled());
}

// Keys go to the widget with the focus, as a keyboard sends them; the window is the active one.
void Press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : window, static_cast<Qt::Key>(key), modifiers);
}

TEST_F(DesktopApp, TheSearchIgnoresCaseAndAccentsAndSaysNoMatch) {
    auto form = OpenMain(3);
    TBackFrame* frame = form->BackFrame();
    TListView* list = frame->View(0)->List(); // contacts
    form->SearchEdt()->setText(QStringLiteral("   "));
    QTest::keyClick(form->SearchEdt(), Qt::Key_Return);
    EXPECT_EQ(list->SelectedCount(), 0);
    EXPECT_EQ(form->SearchEdt()->text(), "   ");
    Press(form.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), form->SearchEdt());
    // "This list": the list keeps only what matches as the text is typed.
    EXPECT_EQ(form->ScopeCb()->currentText(), "This list");
    const int all = list->model()->rowCount();
    QTest::keyClicks(form->SearchEdt(), QStringLiteral("CHLOE"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount() == 1; }, 5000));
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), QString::fromUtf8("Chloé"));
    QTest::keyClick(form->SearchEdt(), Qt::Key_Return);
    ASSERT_EQ(list->SelectedCount(), 1);
    EXPECT_EQ(list->model()->index(list->selectionModel()->selectedRows().front().row(), 0).data().toString(),
              QString::fromUtf8("Chloé"));
    EXPECT_EQ(frame->StatusText(), "  Chloe's iPhone 15 @ 10/01/24 10:00:00");
    THtmlPane* card = static_cast<TAbFrm*>(frame->View(0))->Viewer();
    auto plain = std::make_shared<QString>(); // answers may come after the wait
    EXPECT_TRUE(WaitFor([&] {
        card->View()->page()->toPlainText([plain](const QString& t) { *plain = t; });
        QTest::qWait(100);
        return plain->contains(QStringLiteral("Dubois"));
    }));
    QTest::qWait(400);
    test::SaveScreenshot(form.get(), "search-found");
    form->SearchEdt()->selectAll();
    QTest::keyClicks(form->SearchEdt(), QStringLiteral("no such name"));
    Press(form.get(), Qt::Key_F3);
    EXPECT_EQ(frame->StatusText(), "  No match");
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_FALSE(form->TransBtn()->isEnabled()); // nothing listed, nothing to export
    QTest::qWait(400);
    test::SaveScreenshot(form.get(), "search-filtered-empty");
    Press(form.get(), Qt::Key_Escape);
    EXPECT_EQ(form->SearchEdt()->text(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount() == all; }, 5000));
    EXPECT_TRUE(form->TransBtn()->isEnabled());
}

TEST_F(DesktopApp, EveryCommandHasItsKeyAndTabWalksTheWindow) {
    auto form = OpenMain(3);
    TBackFrame* frame = form->BackFrame();
    Press(form.get(), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(frame->ActiveCategory(), 1);
    Press(form.get(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(frame->ActiveCategory(), 2);
    Press(form.get(), Qt::Key_PageUp, Qt::ControlModifier);
    Press(form.get(), Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(frame->ActiveCategory(), 0);
    Press(form.get(), Qt::Key_PageUp, Qt::ControlModifier); // wraps to the last
    EXPECT_EQ(frame->ActiveCategory(), TBackFrame::kViewCount - 1);
    Press(form.get(), Qt::Key_7, Qt::AltModifier);
    EXPECT_EQ(frame->ActiveCategory(), 6);

    // Tab from the Export button: the title bar, every category button, the list.
    form->TransBtn()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> walked;
    for (int step = 0; step < 4 + TBackFrame::kViewCount + 2; ++step) {
        Press(form.get(), Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    std::vector<QWidget*> expected{form->BackBtn(), form->MoreBtn(), form->ScopeCb(), form->SearchEdt()};
    for (int view = 0; view < TBackFrame::kViewCount; ++view) {
        expected.push_back(frame->CategoryButton(view));
    }
    expected.push_back(frame->View(6)->List());
    expected.push_back(static_cast<TVmlFrm*>(frame->View(6))->PlayBtn()); // the view's pane
    EXPECT_EQ(walked, expected);

    // The licence the Help window names is the repository's LICENSE, shown in its details.
    QString licence;
    FScript.Then([this, &licence](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        licence = box->detailedText();
        FScript.Messages.push_back(box->text());
        test::SaveScreenshot(box, "help");
        QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click,
                                  Qt::QueuedConnection);
        return true;
    });
    Press(form.get(), Qt::Key_F1);
    ASSERT_EQ(FScript.Messages.size(), 1u);
    EXPECT_TRUE(FScript.Messages[0].startsWith("Kestrow 2.1\n")) << FScript.Messages[0].toStdString();
    EXPECT_TRUE(FScript.Messages[0].contains("Licence: MIT, the terms in the LICENSE file"))
        << FScript.Messages[0].toStdString();
    std::string file;
    ASSERT_TRUE(ReadWholeFile(KESTROW_LICENSE, file));
    EXPECT_EQ(licence.toStdString(), file);
    EXPECT_TRUE(FScript.Messages[0].contains("Backups are looked for in:\n" +
                                             QString::fromStdString(test::DemoRoot())));

    FScript.Then([](QWidget* modal) {
        auto* dialog = qobject_cast<TBkSelectForm*>(modal);
        if (dialog != nullptr) {
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        return dialog != nullptr;
    });
    Press(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(FScript.Done());
    Press(form.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(DesktopApp, TheRunLogShowsTheHeaderAndTheSessionLog) {
    const TTempFolder root;
    TMainForm form(root.Path(), "");
    EXPECT_EQ(form.LogReport(), "Kestrow 2.1\r\niTunes: False, connect: False, iOS: False");
    FScript.AnswerMessage(QMessageBox::Ok);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return FScript.Done(); }));
    // A backup view with an empty log: the header and one empty line.
    EXPECT_EQ(form.LogReport(), "Kestrow 2.1\r\niTunes: False, connect: False, iOS: False\r\n");
    form.BackFrame()->Session().Log().Append("<b>Dump MBD- error</b>");
    FScript.Then([&](QWidget* modal) {
        auto* log = qobject_cast<TLogForm*>(modal);
        if (log == nullptr) {
            return false;
        }
        EXPECT_EQ(log->windowTitle(), "Last running log");
        EXPECT_EQ(log->size(), QSize(507, 433));
        EXPECT_EQ(log->LogMem()->toPlainText(),
                  "Kestrow 2.1\niTunes: False, connect: False, iOS: False\n\n<b>Dump MBD- error</b>");
        test::SaveScreenshot(log, "run-log");
        log->accept();
        return true;
    });
    form.ShowLog();
    EXPECT_TRUE(FScript.Done());
}

TEST_F(DesktopApp, CheckBackupShowsTheFindingsOfTheOpenBackup) {
    auto form = OpenMain(3);
    FScript.Then([&](QWidget* modal) {
        auto* check = qobject_cast<TCheckForm*>(modal);
        if (check == nullptr) {
            return false;
        }
        EXPECT_EQ(check->windowTitle(), "Check backup");
        EXPECT_TRUE(
            WaitFor([&] { return check->ReportMem()->toPlainText().endsWith("The backup is whole.\n"); }));
        EXPECT_TRUE(
            check->ReportMem()->toPlainText().startsWith("Snapshot state: finished\nFull backup: no\n"));
        test::SaveScreenshot(check, "check-backup");
        check->accept();
        return true;
    });
    form->ShowCheck();
    EXPECT_TRUE(FScript.Done());
}

// The tool sleeps, so the refresh is certainly still running while Open, Export and closing are tried.
TEST_F(DesktopApp, OpenExportAndClosingWaitWhileTheBackupToolRuns) {
    const TTempFolder bin;
    const std::string tool = bin.Path() + "idevicebackup2";
    const std::string marker = bin.Path() + "ran";
    ASSERT_TRUE(WriteWholeFile(tool, "#!/bin/sh\nsleep 2\necho \"$@\" > '" + marker + "'\n"));
    ::chmod(tool.c_str(), 0755);
    ::setenv("KESTROW_BACKUP_TOOL", tool.c_str(), 1);
    auto form = OpenMain(0);
    TBackFrame* frame = form->BackFrame();
    FScript.AnswerMessage(QMessageBox::Ok, "refresh-question");
    TypePassword(FScript, "kestrow-demo"); // the newest backup of the device is encrypted
    frame->RefreshDevice("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    ASSERT_TRUE(FScript.Done());
    EXPECT_TRUE(FScript.Messages.front().startsWith("Do you want to overwrite the local backup:\n\"Anna's "
                                                    "iPhone@11/05/12 09:30:00\"\nwith the content of "));
    EXPECT_TRUE(frame->Refreshing());
    EXPECT_EQ(frame->StatusText(), "  Updating the backup, please wait ...");
    test::SaveScreenshot(form.get(), "main-refreshing");
    FScript.AnswerMessage(QMessageBox::Ok);
    FScript.AnswerMessage(QMessageBox::Ok);
    FScript.AnswerMessage(QMessageBox::Ok);
    form->BackBtnClick();
    form->TransBtnClick();
    EXPECT_FALSE(form->close());
    ASSERT_EQ(FScript.Messages.size(), 4u);
    EXPECT_EQ(FScript.Messages[1], "Please wait until all the data has been loaded.");
    EXPECT_EQ(FScript.Messages[2], "Please wait until all the data has been loaded.");
    EXPECT_EQ(FScript.Messages[3],
              "Backup is in progress.\nPlease wait until the backup complete.\nIt may take "
              "some time depends on the capacity of your device.");
    ASSERT_TRUE(WaitFor([&] { return frame->ViewShown(); }));
    ::unsetenv("KESTROW_BACKUP_TOOL");
    std::string args;
    ReadWholeFile(marker, args);
    EXPECT_EQ(args, "--udid 3d0d7e5fb2ce288813306e4d4636395e047a3d28 backup " + test::DemoRoot() + "\n");
    EXPECT_EQ(frame->Session().CurrentIndex(), 1);
    EXPECT_TRUE(form->close());
}

} // namespace
} // namespace kestrow
