// A new task as the user makes it: the dialog filled from the keyboard and
// the first template, two databases added, confirmed, and saved into the task
// definition file the way the editor saves a task; then the file's lines.

#include "editor/Dialogs.h"
#include "editor/EditPlan.h"
#include "editor/PrednSQL.h"
#include "editor/data.h"
#include "storage/PLVIni.h"
#include "storage/TaskFile.h"
#include "ModalDriver.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace znx::editor;

namespace {

znx::TStrings ToStrings(const QStringList& List) {
    znx::TStrings Result;
    for (const QString& Item : List)
        Result.push_back(FromQ(Item));
    return Result;
}

} // namespace

class TestTaskFlow : public QObject {
    Q_OBJECT

    TMainData Data;

private slots:
    void cleanup() {
        driver::CancelAll();
        driver::CloseAllModals();
        driver::Failures().clear();
    }

    void initTestCase() {
        Data.ServerInstalled = true;
        Data.Catalogs = std::make_unique<QStringList>(
            QStringList{QStringLiteral("master"), QStringLiteral("ucetnictvi"), QStringLiteral("mzdy")});
        SetMainData(&Data);
    }

    void newKoralTaskFromTheFirstTemplate() {
        // The values the main window passes for a new task.
        QString Name;
        QString Keyword = QStringLiteral("KORAL");
        QStringList Sql;
        int Timeout = znx::DefaultEditorTimeout;
        QStringList Targets;

        driver::WhenModal<TFormEditPlan>(QStringLiteral("FormEditPlan"), [](TFormEditPlan* Form) {
            driver::TypeText(QApplication::focusWidget(), QString::fromUtf8("Záloha"));
            driver::WhenModal<TFormPrednSQL>(QStringLiteral("FormPrednSQL"), [](TFormPrednSQL*) {
                driver::PressKey(QApplication::focusWidget(), Qt::Key_Return);
            });
            driver::WhenModal<TFormEditPlan>(QStringLiteral("FormEditPlan"), [](TFormEditPlan* Again) {
                Again->ComboCatalog->setCurrentIndex(1);
                Again->Button3->click();
                Again->ComboCatalog->setCurrentIndex(2);
                Again->Button3->click();
                Again->Button1->click();
            });
            Form->Button5->click();
        });
        const bool Ok = ExecuteEditPlan(Name, Keyword, Sql, Timeout, Targets);
        DRIVER_CHECK();
        QVERIFY(Ok);

        QTemporaryDir Folder;
        QVERIFY(Folder.isValid());
        const QString Path = Folder.filePath(QStringLiteral("VYKONAR.INI"));
        const std::string Section = "1C5E8A70-2B3D-4F61-9E07-A4D2C3B5F018";
        {
            znx::TPLVIniFile Ini(FromQ(Path));
            znx::SaveTask(Ini, Section, FromQ(Name), FromQ(Keyword), Timeout, ToStrings(Sql), ToStrings(Targets));
            Ini.Release();
        }
        QFile File(Path);
        QVERIFY(File.open(QIODevice::ReadOnly));
        const QString Text = ToQ(File.readAll().toStdString());
        QStringList Lines = Text.split(QRegularExpression(QStringLiteral("\r\n|\n")));
        while (!Lines.isEmpty() && Lines.last().isEmpty())
            Lines.removeLast();
        QCOMPARE(Lines, (QStringList{QStringLiteral("[1C5E8A70-2B3D-4F61-9E07-A4D2C3B5F018]"),
                                     QString::fromUtf8("Name=Záloha"), QStringLiteral("type=KORAL"),
                                     QStringLiteral("timeout=600"),
                                     QStringLiteral("SQL0=backup database <jmeno_databaze>"),
                                     QStringLiteral("SQL1=to disk = '<cesta>' with init"),
                                     QStringLiteral("catalog0=ucetnictvi"), QStringLiteral("catalog1=mzdy")}));
        // And the runner's readers see the same task.
        znx::TPLVIniFile Again(FromQ(Path));
        QCOMPARE(znx::ReadCommandLines(Again, Section), ToStrings(Sql));
        QCOMPARE(znx::ReadCatalogs(Again, Section), ToStrings(Targets));
        QCOMPARE(znx::TaskTypeOf(Again.ReadString(Section, znx::TaskKeys::RunnerType, "")), znx::tkKoral);
        Again.Release();
    }
};

QTEST_MAIN(TestTaskFlow)
#include "tst_taskflow.moc"
