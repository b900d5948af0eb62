// The main window: the task list, New, Edit, Delete, the menu and tool bar,
// help, and the file written once as the window goes.
#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/NastPlan.h"
#include "editor/Shell.h"
#include "editor/data.h"
#include "platform/error.h"
#include "platform/process.h"
#include "storage/PLVIni.h"
#include "tests/editor/support/EditorTest.h"

using namespace znx::editor;
using namespace znx::editor::test;

namespace {

// Five tasks, the third one in the middle.
const char* FiveTasks = "[T1]\nName=První\ntype=KORAL\nSQL=SELECT 1\n\n"
                        "[T2]\nName=Druhá\ntype=KASTELAN\nSQL0=SELECT 2\n\n"
                        "[T3]\nName=Třetí\ntype=CS_ALL\ntimeout=45\nSQL0=DBCC SHRINKDATABASE(0)\nSQL1=GO\n"
                        "catalog0=Účetnictví\ncatalog1=Sklad\n\n"
                        "[T4]\nName=Čtvrtá\ntype=PARADOX\nSQL=BACKUP /data\n\n"
                        "[T5]\nName=Pátá\ntype=PARADOX_R\nSQL=BACKUP /data2\n";

struct EditCall {
    QString name, keyword;
    QStringList sql, targets;
    int timeout = 0;
};

ino_t InodeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

QStringList Row(QTreeWidget* list, int i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    return {item->text(0), item->text(1), item->text(2)};
}

} // namespace

class TestNastPlan : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString file;
    QList<EditCall> calls;
    // What the dialog stand-in answers: false for Cancel, else it sets the values.
    std::function<bool(EditCall&)> answer;
    TMainData noServer; // no server product: ServerInstalled false, no catalogs

    std::unique_ptr<TFormNastPlan> Open(const char* content) {
        if (content) WriteText(file, Cz(content));
        auto form = std::make_unique<TFormNastPlan>(file);
        form->show();
        QApplication::setActiveWindow(form.get());
        return form;
    }

private slots:
    void initTestCase() {
        SetMainData(&noServer);
        TFormNastPlan::SetEditPlanFunction(
            [this](QString& name, QString& keyword, QStringList& sql, int& timeout, QStringList& targets) {
                EditCall call{name, keyword, sql, targets, timeout};
                calls << call;
                if (!answer || !answer(call)) return false;
                name = call.name;
                keyword = call.keyword;
                sql = call.sql;
                timeout = call.timeout;
                targets = call.targets;
                return true;
            });
    }
    void cleanupTestCase() {
        TFormNastPlan::SetEditPlanFunction({});
        SetMainData(nullptr);
    }
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        file = dir->path() + "/vykonar.ini";
        calls.clear();
        answer = nullptr;
        TFormNastPlan::SetGuidGenerator({});
    }

    void formLayout() {
        auto form = Open(FiveTasks);
        QCOMPARE(form->windowTitle(), Cz("Manažer plánovaných činností"));
        QCOMPARE(form->ListView->objectName(), QString("ListView"));
        QCOMPARE(form->ToolBar1->objectName(), QString("ToolBar1"));
        QCOMPARE(form->MainMenu1->objectName(), QString("MainMenu1"));
        QCOMPARE(form->ListView->headerItem()->text(0), Cz("Název činnosti"));
        QCOMPARE(form->ListView->headerItem()->text(1), Cz("Program"));
        QCOMPARE(form->ListView->headerItem()->text(2), Cz("SQL příkaz"));
        QCOMPARE(form->ListView->columnWidth(0), 200);
        QCOMPARE(form->ListView->columnWidth(1), 110);
        QCOMPARE(form->ListView->columnWidth(2), 350);
        QCOMPARE(form->ListView->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(form->ListView->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!form->ListView->isSortingEnabled());
        QCOMPARE(form->frameGeometry().size(), QSize(637, 429));

        struct A { const char* name; const char* caption; const char* hint; QKeySequence key; bool image; };
        const A actions[] = {
            {"actNovy", "&Nová činnost", "Nová činnost", QKeySequence(Qt::Key_F2), true},
            {"actOprav", "&Opravit činnost", "Opravit činnost", QKeySequence(Qt::Key_F4), true},
            {"actOdstran", "O&dstranit činnost", "Odstranit činnost", QKeySequence(Qt::Key_F3), true},
            {"actKonec", "&Konec", nullptr, QKeySequence(Qt::CTRL | Qt::Key_K), false},
            {"actPripojeni", "Nastavit &připojení k datům", "Nastavit připojení k datům", QKeySequence(), false},
            {"actAbout", "&O programu", nullptr, QKeySequence(), false},
            {"actHelp", "Nápo&věda", nullptr, QKeySequence(), false},
        };
        for (const A& a : actions) {
            auto* action = form->findChild<QAction*>(a.name);
            QVERIFY2(action, a.name);
            QCOMPARE(action->text(), Cz(a.caption));
            if (a.hint) QCOMPARE(action->toolTip(), Cz(a.hint));
            QCOMPARE(action->shortcut(), a.key);
            QCOMPARE(!action->icon().isNull(), a.image);
            QVERIFY(!action->isIconVisibleInMenu());
            QVERIFY(action->isEnabled());
        }
        // The tool bar: a gap of 8 pixels, then New, Edit, Delete with images of 16 × 16.
        const QList<QAction*> bar = form->ToolBar1->actions();
        QCOMPARE(bar.size(), 4);
        QCOMPARE(form->ToolBar1->widgetForAction(bar[0])->width(), 8);
        QCOMPARE(bar[1], form->actNovy);
        QCOMPARE(bar[2], form->actOprav);
        QCOMPARE(bar[3], form->actOdstran);
        QCOMPARE(form->ToolBar1->iconSize(), QSize(16, 16));
        for (const QPixmap& image : form->mainImageList) {
            QCOMPARE(image.size(), QSize(16, 16));
            QVERIFY(!image.toImage().allGray() || image.hasAlpha());
        }
        // The menus and their items in order.
        const QList<QAction*> menus = form->MainMenu1->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), Cz("Či&nnosti"));
        QCOMPARE(menus[1]->text(), Cz("&Nastavení"));
        QCOMPARE(menus[2]->text(), Cz("Nápo&věda"));
        const QList<QAction*> tasks = menus[0]->menu()->actions();
        QCOMPARE(tasks.size(), 5);
        QCOMPARE(tasks[0], form->actNovy);
        QCOMPARE(tasks[1], form->actOprav);
        QCOMPARE(tasks[2], form->actOdstran);
        QVERIFY(tasks[3]->isSeparator());
        QCOMPARE(tasks[4], form->actKonec);
        QCOMPARE(menus[1]->menu()->actions(), QList<QAction*>{form->actPripojeni});
        QCOMPARE(menus[2]->menu()->actions(), (QList<QAction*>{form->actHelp, form->actAbout}));
    }

    void taskFileBesideExecutable() {
        const QString exeDir = QFileInfo(QString::fromStdString(znx::ExecutablePath())).absolutePath();
        QCOMPARE(TFormNastPlan::TaskFilePath(), exeDir + "/vykonar.ini");
        QCOMPARE(TFormNastPlan::HelpFilePath(), exeDir + "/Planora.html");
    }

    void columns_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("row");
        QTest::newRow("KORAL") << "Name=A\ntype=KORAL\nSQL=SELECT 1" << QStringList{"A", Cz("Koral/Korálek"), "SELECT 1"};
        QTest::newRow("KASTELAN") << "Name=B\ntype=KASTELAN\nSQL=x" << QStringList{"B", Cz("Kastelán"), "x"};
        QTest::newRow("CS_ALL") << "Name=C\ntype=CS_ALL\nSQL=x" << QStringList{"C", Cz("Hromadně CS"), "x"};
        QTest::newRow("PARADOX") << "Name=D\ntype=PARADOX\nSQL=x" << QStringList{"D", Cz("Složka"), "x"};
        QTest::newRow("PARADOX_R") << "Name=E\ntype=PARADOX_R\nSQL=x"
                                   << QStringList{"E", Cz("Složka a podsložky"), "x"};
        QTest::newRow("lower-case keyword") << "Name=F\ntype=koral\nSQL=x" << QStringList{"F", "koral", "x"};
        QTest::newRow("unknown keyword") << "Name=G\ntype=ORACLE\nSQL=x" << QStringList{"G", "ORACLE", "x"};
        QTest::newRow("no type") << "Name=H\nSQL=SELECT 8" << QStringList{"H", "", "SELECT 8"};
        QTest::newRow("numbered SQL only") << "Name=I\ntype=KORAL\nSQL0=first\nSQL1=second"
                                           << QStringList{"I", Cz("Koral/Korálek"), "first"};
        QTest::newRow("SQL before numbered") << "Name=J\nSQL1=one\nSQL=single\nSQL0=zero"
                                             << QStringList{"J", "", "single"};
        QTest::newRow("no command") << "Name=K\ntype=KORAL" << QStringList{"K", Cz("Koral/Korálek"), ""};
        QTest::newRow("no name") << "type=KORAL\nSQL=x" << QStringList{"", Cz("Koral/Korálek"), "x"};
        QTest::newRow("Czech text") << Cz("Name=Záloha účtů\nSQL=BACKUP DATABASE [Účty]")
                                    << QStringList{Cz("Záloha účtů"), "", Cz("BACKUP DATABASE [Účty]")};
    }
    void columns() {
        QFETCH(QString, body);
        QFETCH(QStringList, row);
        WriteText(file, "[S]\n" + body + "\n");
        auto form = Open(nullptr);
        QCOMPARE(form->ListView->topLevelItemCount(), 1);
        QCOMPARE(Row(form->ListView, 0), row);
        QCOMPARE(form->SelectedIndex(), 0);
    }

    void rowsInFileOrder() {
        auto form = Open(FiveTasks);
        QCOMPARE(form->ListView->topLevelItemCount(), 5);
        QCOMPARE(form->Sections(), (znx::TStrings{"T1", "T2", "T3", "T4", "T5"}));
        QCOMPARE(form->ListView->topLevelItem(2)->text(0), Cz("Třetí"));
        QCOMPARE(form->SelectedIndex(), 0);
    }

    void emptyOrMissingFile_data() {
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << false;
        QTest::newRow("empty") << true;
    }
    void emptyOrMissingFile() {
        QFETCH(bool, exists);
        if (exists) WriteText(file, "");
        auto form = Open(nullptr);
        QCOMPARE(form->ListView->topLevelItemCount(), 0);
        QCOMPARE(form->SelectedIndex(), -1);
        ModalDriver boxes;
        QTest::keyClick(form->ListView, Qt::Key_F4);
        QTest::keyClick(form->ListView, Qt::Key_F3);
        QTest::mouseDClick(form->ListView->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(calls.isEmpty());
        QTest::keyClick(form->ListView, Qt::Key_F2);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].name, QString());
        QCOMPARE(calls[0].keyword, QString("KORAL"));
        QCOMPARE(calls[0].timeout, 600);
        QVERIFY(calls[0].sql.isEmpty() && calls[0].targets.isEmpty());
        QCOMPARE(boxes.Seen(), 0);
        QVERIFY(!form->IniFile()->Shared()->Modified());
    }

    void newTaskSaved() {
        auto form = Open(FiveTasks);
        answer = [](EditCall& c) {
            c.name = Cz("Nová záloha");
            c.keyword = "KASTELAN";
            c.sql = QStringList{"BACKUP DATABASE x", "TO DISK='y'"};
            c.timeout = 90;
            c.targets = QStringList{"db1", "db2"};
            return true;
        };
        form->actNovy->trigger();
        QCOMPARE(form->ListView->topLevelItemCount(), 6);
        QCOMPARE(form->SelectedIndex(), 5);
        QCOMPARE(form->focusWidget(), form->ListView);
        QCOMPARE(Row(form->ListView, 5), (QStringList{Cz("Nová záloha"), Cz("Kastelán"), "BACKUP DATABASE x"}));
        const QString id = QString::fromStdString(form->Sections().back());
        QVERIFY2(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                     .match(id).hasMatch(), qPrintable(id));
        znx::TPLVIniFile& ini = *form->IniFile();
        const std::string s = id.toStdString();
        QCOMPARE(QString::fromStdString(ini.ReadString(s, "Name", "")), Cz("Nová záloha"));
        QCOMPARE(ini.ReadString(s, "type", ""), std::string("KASTELAN"));
        QCOMPARE(ini.ReadString(s, "timeout", ""), std::string("90"));
        QCOMPARE(ini.ReadString(s, "SQL1", ""), std::string("TO DISK='y'"));
        QCOMPARE(ini.ReadString(s, "catalog1", ""), std::string("db2"));
        // Nothing reaches the disk before the end.
        QVERIFY(!ReadText(file).contains(id));
    }

    void newTaskCancelledSelectsLastRow() {
        auto form = Open(FiveTasks);
        form->ListView->setCurrentItem(form->ListView->topLevelItem(1));
        form->actNovy->trigger();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(form->ListView->topLevelItemCount(), 5);
        QCOMPARE(form->SelectedIndex(), 4);
        QVERIFY(!form->IniFile()->Shared()->Modified());
    }

    void newTaskIdFromGenerator() {
        TFormNastPlan::SetGuidGenerator([] { return QString("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"); });
        QCOMPARE(TFormNastPlan::NewTaskId(), QString("3F2504E0-4F89-11D3-9A0C-0305E82C3301"));
        TFormNastPlan::SetGuidGenerator({});
        const QString a = TFormNastPlan::NewTaskId(), b = TFormNastPlan::NewTaskId();
        QVERIFY(a != b);
        QVERIFY(!a.contains('{') && !a.contains('}') && a == a.toUpper());
    }

    void guidFailureShowsErrorAndDoesNothing() {
        auto form = Open(FiveTasks);
        TFormNastPlan::SetGuidGenerator([] { return QString(); });
        ModalDriver boxes;
        boxes.Then(ClickButton("OK"));
        form->actNovy->trigger();
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Texts(), QStringList{Cz("Chyba při vytváření GUID.")});
        QCOMPARE(boxes.Titles(), QStringList{Cz("Manažer činností")});
        QVERIFY(calls.isEmpty());
        QCOMPARE(form->ListView->topLevelItemCount(), 5);
        QVERIFY(!form->IniFile()->Shared()->Modified());
    }

    void editThirdOfFive_data() {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("saved") << true;
        QTest::newRow("cancelled") << false;
    }
    void editThirdOfFive() {
        QFETCH(bool, confirm);
        auto form = Open(FiveTasks);
        // The dialog starts with the list's text, not a new read of the file.
        form->ListView->topLevelItem(2)->setText(0, Cz("Třetí (přejmenovaná)"));
        form->ListView->setCurrentItem(form->ListView->topLevelItem(2));
        form->ListView->clearFocus();
        answer = [confirm](EditCall& c) {
            c.name = Cz("Třetí upravená");
            c.sql = QStringList{"SELECT 3"};
            c.targets = QStringList{"jen"};
            return confirm;
        };
        QTest::keyClick(form->ListView, Qt::Key_F4);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].name, Cz("Třetí (přejmenovaná)"));
        QCOMPARE(calls[0].keyword, QString("CS_ALL"));
        QCOMPARE(calls[0].timeout, 45);
        QCOMPARE(calls[0].sql, (QStringList{"DBCC SHRINKDATABASE(0)", "GO"}));
        QCOMPARE(calls[0].targets, (QStringList{Cz("Účetnictví"), "Sklad"}));
        QCOMPARE(form->SelectedIndex(), 2);
        QCOMPARE(form->LastIndex(), 2);
        QCOMPARE(form->focusWidget(), form->ListView);
        QCOMPARE(form->IniFile()->Shared()->Modified(), confirm);
        if (confirm) {
            QCOMPARE(Row(form->ListView, 2), (QStringList{Cz("Třetí upravená"), Cz("Hromadně CS"), "SELECT 3"}));
            znx::TPLVIniFile& ini = *form->IniFile();
            QCOMPARE(ini.ReadString("T3", "SQL1", ""), std::string());
            QCOMPARE(ini.ReadString("T3", "catalog0", ""), std::string("jen"));
            QCOMPARE(ini.ReadString("T3", "catalog1", ""), std::string());
        }
    }

    void editDefaultsAndKeywordCase() {
        WriteText(file, "[A]\nName=a\ntype=paradox_r\n\n[B]\nName=b\n");
        auto form = Open(nullptr);
        form->acOpravClick();
        form->ListView->setCurrentItem(form->ListView->topLevelItem(1));
        QTest::mouseDClick(form->ListView->viewport(), Qt::LeftButton, {},
                           form->ListView->visualItemRect(form->ListView->topLevelItem(1)).center());
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].keyword, QString("PARADOX_R")); // upper case, a to z only
        QCOMPARE(calls[0].timeout, 600);
        QCOMPARE(calls[1].name, QString("b"));
        QCOMPARE(calls[1].keyword, QString("KORAL")); // no type
        QCOMPARE(form->SelectedIndex(), 1);
    }

    void errorInDialogIsShownAndSelectionRestored() {
        auto form = Open(FiveTasks);
        form->ListView->setCurrentItem(form->ListView->topLevelItem(3));
        answer = [](EditCall&) -> bool { throw znx::Error("Dialog selhal"); };
        ModalDriver boxes;
        boxes.Then(ClickButton("OK"));
        form->actOprav->trigger();
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Texts(), QStringList{"Dialog selhal."});
        QCOMPARE(form->SelectedIndex(), 3);
        QCOMPARE(form->focusWidget(), form->ListView);
    }

    void deleteSelectsNeighbour_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("selected");
        QTest::newRow("last of five") << 5 << 4 << 3;
        QTest::newRow("middle of five") << 5 << 2 << 2;
        QTest::newRow("first of five") << 5 << 0 << 0;
        QTest::newRow("second of two") << 2 << 1 << 0;
        QTest::newRow("first of two") << 2 << 0 << 0;
        QTest::newRow("only row") << 1 << 0 << -1;
    }
    void deleteSelectsNeighbour() {
        QFETCH(int, rows);
        QFETCH(int, deleted);
        QFETCH(int, selected);
        QString text;
        for (int i = 0; i < rows; ++i) text += QString("[T%1]\nName=n%1\n\n").arg(i);
        WriteText(file, text);
        auto form = Open(nullptr);
        form->ListView->setCurrentItem(form->ListView->topLevelItem(deleted));
        ModalDriver boxes;
        boxes.Then([](QWidget* box) {
            QCOMPARE(box->windowTitle(), QString("Confirm"));
            QVERIFY(ButtonWithText(box, "&No"));
            ButtonWithText(box, "&Yes")->click();
        });
        QTest::keyClick(form->ListView, Qt::Key_F3);
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Texts(), QStringList{Cz("Opravdu chcete smazat definici?")});
        QCOMPARE(form->ListView->topLevelItemCount(), rows - 1);
        QCOMPARE(form->SelectedIndex(), selected);
        QCOMPARE(form->IniFile()->Shared()->FindSection(QString("T%1").arg(deleted).toStdString()), nullptr);
        for (int i = 0; i < rows - 1; ++i)
            QVERIFY(form->ListView->topLevelItem(i)->text(0) != QString("n%1").arg(deleted));
        if (selected >= 0) QCOMPARE(form->focusWidget(), form->ListView);
    }

    void deleteAnsweredNoChangesNothing_data() {
        QTest::addColumn<int>("how"); // 0: No, 1: Esc
        QTest::newRow("No") << 0;
        QTest::newRow("Esc") << 1;
    }
    void deleteAnsweredNoChangesNothing() {
        QFETCH(int, how);
        auto form = Open(FiveTasks);
        form->ListView->setCurrentItem(form->ListView->topLevelItem(1));
        ModalDriver boxes;
        boxes.Then(how == 0 ? ClickButton("&No") : PressKey(Qt::Key_Escape));
        form->actOdstran->trigger();
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(form->ListView->topLevelItemCount(), 5);
        QCOMPARE(form->SelectedIndex(), 1);
        QVERIFY(!form->IniFile()->Shared()->Modified());
        const QString before = ReadText(file);
        form->close();
        form.reset();
        QCOMPARE(ReadText(file), before);
    }

    void fileWrittenOnceAtTheEnd() {
        auto form = Open(FiveTasks);
        const QString before = ReadText(file);
        const ino_t inode = InodeOf(file);
        answer = [](EditCall& c) {
            c.name = "Nová";
            c.sql = QStringList{"SELECT 6"};
            return true;
        };
        form->acNovyClick();
        form->ListView->setCurrentItem(form->ListView->topLevelItem(0));
        ModalDriver boxes;
        boxes.Then(ClickButton("&Yes"));
        form->acOdstranClick();
        QTRY_VERIFY(boxes.AllDone());
        // Every change so far lives in memory only.
        QCOMPARE(ReadText(file), before);
        QCOMPARE(InodeOf(file), inode);
        // Ctrl+K closes the window; that writes the file.
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
        QVERIFY(!form->isVisible());
        const QString after = ReadText(file);
        QVERIFY(after.contains("Name=Nová\r\n"));
        QVERIFY(!after.contains("[T1]"));
        const ino_t written = InodeOf(file);
        QVERIFY(written != inode);
        form.reset();
        QCOMPARE(InodeOf(file), written); // not written a second time
        QCOMPARE(ReadText(file), after);
    }

    void unchangedFileIsNotWritten() {
        auto form = Open(FiveTasks);
        const ino_t inode = InodeOf(file);
        form->close();
        form.reset();
        QCOMPARE(InodeOf(file), inode);
    }

    void saveFailureAtExit() {
        auto form = Open(FiveTasks);
        answer = [](EditCall& c) {
            c.name = "Uložit";
            return true;
        };
        form->acNovyClick();
        // A folder where the file should be: the save cannot replace it.
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkdir(file));

        // Back to the window: it stays open with its changes.
        ModalDriver boxes;
        boxes.Then([](QWidget* box) {
            QCOMPARE(box->objectName(), QString("SaveFailureBox"));
            QCOMPARE(box->windowTitle(), Cz("Manažer činností"));
            QCOMPARE(qobject_cast<QMessageBox*>(box)->icon(), QMessageBox::Critical);
            QVERIFY(ButtonWithText(box, Cz("&Zkusit znovu")));
            QVERIFY(ButtonWithText(box, Cz("&Ukončit bez uložení")));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QVERIFY(!form->close());
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY2(boxes.Texts().value(0).contains(file), qPrintable(boxes.Texts().value(0)));
        QVERIFY(form->isVisible());
        QVERIFY(form->IniFile()->Shared()->Modified());

        // Retry after the obstacle is gone: saved, closed.
        boxes.Then([this](QWidget* box) {
            QVERIFY(QDir().rmdir(file));
            ButtonWithText(box, Cz("&Zkusit znovu"))->click();
        });
        QVERIFY(form->close());
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 2);
        QVERIFY(ReadText(file).contains("Name=Uložit"));
        form.reset();
        QCOMPARE(boxes.Seen(), 2);
    }

    void saveFailureEndWithoutSaving() {
        auto form = Open(FiveTasks);
        answer = [](EditCall& c) {
            c.name = "Zahodit";
            return true;
        };
        form->acNovyClick();
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkdir(file));
        ModalDriver boxes;
        boxes.Then(ClickButton(Cz("&Ukončit bez uložení")));
        QVERIFY(form->close());
        QTRY_VERIFY(boxes.AllDone());
        // The obstacle goes; the editor still writes nothing.
        QVERIFY(QDir().rmdir(file));
        form.reset();
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(boxes.Seen(), 1);
    }

    void readOnlyFileWithChanges() {
        // Read-only for this process: as root, look at it as nobody while it loads.
        WriteText(file, Cz(FiveTasks));
        QCOMPARE(::chmod(file.toLocal8Bit().constData(), 0444), 0);
        QCOMPARE(::chmod(dir->path().toLocal8Bit().constData(), 0755), 0);
        const bool root = ::getuid() == 0;
        if (root) QVERIFY(::setresuid(65534, 65534, 0) == 0);
        auto form = std::make_unique<TFormNastPlan>(file);
        if (root) QVERIFY(::setresuid(0, 0, 0) == 0);
        form->show();
        QVERIFY(form->IniFile()->Shared()->ReadOnly());
        const QString before = ReadText(file);
        answer = [](EditCall& c) {
            c.name = "Nelze";
            return true;
        };
        form->acNovyClick();

        ModalDriver boxes;
        boxes.Then([](QWidget* box) {
            QCOMPARE(box->windowTitle(), QString("Confirm"));
            ButtonWithText(box, "&No")->click();
        });
        QVERIFY(!form->close());
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY2(boxes.Texts().value(0).contains(Cz("jen pro čtení")), qPrintable(boxes.Texts().value(0)));
        QVERIFY(form->isVisible());
        boxes.Then(ClickButton("&Yes"));
        QVERIFY(form->close());
        QTRY_VERIFY(boxes.AllDone());
        form.reset();
        QCOMPARE(ReadText(file), before);
        QCOMPARE(boxes.Seen(), 2);
    }

    void connectionCommandWithoutServerChangesNothing() {
        QTemporaryDir hives;
        qputenv("ZNX_MACHINE_REG", (hives.path() + "/machine.reg").toLocal8Bit());
        qputenv("ZNX_USER_REG", (hives.path() + "/user.reg").toLocal8Bit());
        auto form = Open(FiveTasks);
        ModalDriver boxes;
        form->actPripojeni->trigger();
        QTest::qWait(50);
        QCOMPARE(boxes.Seen(), 0);
        QVERIFY(!noServer.Catalogs);
        QVERIFY(!noServer.ServerInstalled);
        QVERIFY(!QFileInfo::exists(hives.path() + "/user.reg"));
        qunsetenv("ZNX_MACHINE_REG");
        qunsetenv("ZNX_USER_REG");
    }

    void aboutCommandShowsTheBox() {
        auto form = Open(FiveTasks);
        ModalDriver boxes;
        boxes.Then([](QWidget* box) {
            QCOMPARE(box->objectName(), QString("FormAbout"));
            QCOMPARE(box->windowTitle(), Cz("O programu"));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        form->actAbout->trigger();
        QVERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 1);
        QVERIFY(form->findChildren<QDialog*>().isEmpty()); // freed at once
    }

    void helpOpensThePageAtTopicOne() {
        const QString page = TFormNastPlan::HelpFilePath();
        const bool made = !QFileInfo::exists(page);
        if (made) WriteText(page, "<html></html>");
        QList<QUrl> opened;
        SetUrlOpener([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        auto form = Open(FiveTasks);
        ModalDriver boxes;
        form->actHelp->trigger();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].toLocalFile(), page);
        QCOMPARE(opened[0].fragment(), QString("kontext1"));
        QCOMPARE(boxes.Seen(), 0);

        // No page beside the program: said so, nothing opened.
        if (made) QFile::remove(page);
        else QFile::rename(page, page + ".away");
        boxes.Then(ClickButton("OK"));
        form->actHelp->trigger();
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY(boxes.Texts().value(0).contains("Planora.html"));
        QCOMPARE(opened.size(), 1);
        if (!made) QFile::rename(page + ".away", page);
        SetUrlOpener({});
    }
};

QTEST_MAIN(TestNastPlan)
#include "tst_nastplan.moc"
