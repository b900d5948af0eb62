// A task from its making to its run, as an administrator does it: the editor
// starts on an empty task file with a server product installed and the
// connection string stored, New is chosen, the name typed, the first
// predefined template taken, two databases added and the dialog confirmed;
// the editor is closed, which writes the file once. Then the real runner,
// beside that file, runs the new task by its ID against the TDS test server.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <Qsci/qsciscintilla.h>
#include <memory>
#include <sys/stat.h>

#include "editor/EditPlan.h"
#include "editor/NastPlan.h"
#include "editor/PrednSQL.h"
#include "editor/data.h"
#include "platform/registry.h"
#include "tests/editor/ModalDriver.h"
#include "tests/editor/support/EditorTest.h"
#include "tests/editor/support/TdsServerQt.h"

using namespace znx::editor;
using znx::editor::test::Cz;
using znx::editor::test::ReadText;
using znx::editor::test::WriteText;
using znx::editor::test::Received;
using znx::editor::test::TdsServer;

namespace {

ino_t InodeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

// The lines of a text whose every line ends with CR LF; a bare LF or an
// unterminated last line is reported.
QStringList CrlfLines(const QString& text, QString* fault) {
    QStringList lines = text.split("\r\n");
    if (lines.isEmpty() || !lines.last().isEmpty()) *fault = "the last line does not end with CR LF";
    else lines.removeLast();
    for (const QString& line : lines)
        if (line.contains('\n') || line.contains('\r')) *fault = "a line break other than CR LF: " + line;
    return lines;
}

// A log line's message: the line without its leading date and time and ": ".
QString LogMessage(const QString& line) {
    static const QRegularExpression stamp(
        R"(^(\d{4}-\d{2}-\d{2}|\d{1,2}[./-] ?\d{1,2}[./-] ?\d{4})( \d{1,2}:\d{2}:\d{2}( [AP]M)?)?: )");
    const QRegularExpressionMatch m = stamp.match(line);
    return m.hasMatch() ? line.mid(m.capturedLength()) : QString("<no time stamp> ") + line;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setApplicationName(QStringLiteral("planora"));
        QVERIFY2(QFileInfo(qEnvironmentVariable("VYKONAR_PATH")).isExecutable(), "VYKONAR_PATH");
        QVERIFY2(QFileInfo(qEnvironmentVariable("ZNX_TDS_SERVER")).isFile(), "ZNX_TDS_SERVER");
    }

    void cleanup() {
        driver::CancelAll();
        driver::CloseAllModals();
        driver::Failures().clear();
        qunsetenv("ZNX_MACHINE_REG");
        qunsetenv("ZNX_USER_REG");
        qunsetenv("XDG_DATA_HOME");
        SetMainData(nullptr);
    }

    void newKoralTaskIsWrittenAndRun() {
        const QString Ucetnictvi = Cz("Účetnictví");
        const QString Mzdy = QStringLiteral("mzdy");
        TdsServer server({"master", "tempdb", "model", "msdb", Ucetnictvi, Mzdy});
        QVERIFY(server.Port() > 0);

        // The machine: a server product installed, the editor's connection
        // string stored for the user.
        QTemporaryDir hives;
        QVERIFY(hives.isValid());
        qputenv("ZNX_MACHINE_REG", (hives.path() + "/machine.reg").toLocal8Bit());
        qputenv("ZNX_USER_REG", (hives.path() + "/user.reg").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (hives.path() + "/share").toLocal8Bit());
        {
            znx::TRegistry machine(znx::KEY_ALL_ACCESS);
            machine.SetRootKey(znx::TRootKey::HKEY_LOCAL_MACHINE);
            QVERIFY(machine.OpenKey("SOFTWARE\\ZNX\\KorlSrv", true));
            znx::TRegistry user(znx::KEY_ALL_ACCESS);
            QVERIFY(user.OpenKey("Software\\ZNX\\Planora", true));
            user.WriteString("ADOString", server.AdoString().toStdString());
        }

        // The program's folder: the runner and the empty task file beside it.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString runner = folder.filePath("vykonar");
        QVERIFY(QFile::copy(qEnvironmentVariable("VYKONAR_PATH"), runner));
        QVERIFY(QFile::setPermissions(runner, QFile::permissions(runner) | QFile::ExeOwner));
        const QString file = folder.filePath("vykonar.ini");
        WriteText(file, QString());

        // The editor starts as the program does: the data module first, then
        // the main window on the task file.
        TMainData data;
        SetMainData(&data);
        {
            znx::editor::test::ModalDriver boxes; // no step: any box would be a fault
            data.DataModuleCreate();
            QCOMPARE(boxes.Seen(), 0);
        }
        QVERIFY(data.ServerInstalled);
        QVERIFY(data.Catalogs);
        QVERIFY2(data.Catalogs->contains(Ucetnictvi) && data.Catalogs->contains(Mzdy),
                 qPrintable(data.Catalogs->join(", ")));

        auto form = std::make_unique<TFormNastPlan>(file);
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->ListView->topLevelItemCount(), 0);

        // New: the name typed into the field that has the focus, the first
        // template taken with Enter, the two databases chosen in the combo
        // box and added, OK.
        auto seenName = std::make_shared<QString>();
        auto seenSql = std::make_shared<QString>();
        auto seenList = std::make_shared<QStringList>();
        driver::WhenModal<TFormEditPlan>(QStringLiteral("FormEditPlan"), [=](TFormEditPlan* Form) {
            if (QApplication::focusWidget() != Form->EditNazev) {
                driver::Failures().append("the name field does not have the focus");
                Form->EditNazev->setFocus();
            }
            if (Form->ComboProgram->currentText() != Cz("Koral/Korálek CS, Kuryr"))
                driver::Failures().append("a new task is not of kind KORAL: " + Form->ComboProgram->currentText());
            driver::TypeText(Form->EditNazev, Cz("Záloha"));
            driver::WhenModal<TFormPrednSQL>(QStringLiteral("FormPrednSQL"), [](TFormPrednSQL*) {
                driver::PressKey(QApplication::focusWidget(), Qt::Key_Return);
            });
            driver::WhenModal<TFormEditPlan>(QStringLiteral("FormEditPlan"), [=](TFormEditPlan* Again) {
                for (const QString& name : {Ucetnictvi, Mzdy}) {
                    const int index = Again->ComboCatalog->findText(name);
                    if (index < 0) driver::Failures().append("no database " + name + " to choose");
                    Again->ComboCatalog->setCurrentIndex(index);
                    Again->Button3->click();
                }
                *seenName = Again->EditNazev->text();
                *seenSql = Again->MemoSQL->text();
                for (int i = 0; i < Again->ListBoxCatalog->count(); ++i)
                    *seenList << Again->ListBoxCatalog->item(i)->text();
                Again->Button1->click();
            });
            Form->Button5->click();
        });
        form->actNovy->trigger();
        DRIVER_CHECK();
        QCOMPARE(*seenName, Cz("Záloha"));
        QVERIFY2(seenSql->startsWith("backup database <jmeno_databaze>"), qPrintable(*seenSql));
        QCOMPARE(*seenList, (QStringList{Ucetnictvi, Mzdy}));

        // The new task is listed; nothing is written while the editor is open.
        QCOMPARE(form->ListView->topLevelItemCount(), 1);
        QCOMPARE(form->ListView->topLevelItem(0)->text(0), Cz("Záloha"));
        QCOMPARE(form->ListView->topLevelItem(0)->text(1), Cz("Koral/Korálek"));
        QCOMPARE(form->Sections().size(), size_t(1));
        const QString id = QString::fromStdString(form->Sections()[0]);
        QVERIFY2(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                     .match(id)
                     .hasMatch(),
                 qPrintable(id));
        QCOMPARE(QFileInfo(file).size(), qint64(0));

        // Closing the editor writes the file; ending it writes nothing more.
        QVERIFY(form->close());
        const QString written = ReadText(file);
        const ino_t writtenInode = InodeOf(file);
        QVERIFY(writtenInode != 0);
        QVERIFY2(!written.isEmpty(), "the file was not written when the editor closed");
        form.reset();
        SetMainData(nullptr);
        QCOMPARE(InodeOf(file), writtenInode);
        QCOMPARE(ReadText(file), written);

        QString fault;
        const QStringList lines = CrlfLines(written, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(lines, (QStringList{"[" + id + "]", Cz("Name=Záloha"), "type=KORAL", "timeout=600",
                                     "SQL0=backup database <jmeno_databaze>",
                                     "SQL1=to disk = '<cesta>' with init", "catalog0=" + Ucetnictvi,
                                     "catalog1=" + Mzdy}));

        // The runner beside the file runs the task by its ID.
        const qsizetype editorRecords = server.Records().size();
        QProcess run;
        run.setWorkingDirectory(folder.path());
        run.start(runner, {"/A" + id});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);

        const QStringList logLines = CrlfLines(ReadText(folder.filePath("vykonar.log")), &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QStringList messages;
        for (const QString& line : logLines)
            messages << LogMessage(line);
        QCOMPARE(messages, (QStringList{Cz("Konfigurace načtena z \"%1\"").arg(file),
                                        Cz("Zpracování spuštěno pro akci ID=%1").arg(id),
                                        Cz("\"Záloha\" v katalogu \"%1\" proběhlo OK").arg(Ucetnictvi),
                                        Cz("\"Záloha\" v katalogu \"%1\" proběhlo OK").arg(Mzdy)}));

        // What the server got: per database a connection that selects it,
        // then the two lines as one batch, CR LF after each.
        const QString joined = "backup database <jmeno_databaze>\r\nto disk = '<cesta>' with init\r\n";
        QStringList uses, batches;
        for (const Received& r : server.Records().mid(editorRecords)) {
            if (r.kind != "batch") continue;
            if (r.text.startsWith("USE ")) uses << r.text;
            else if (!r.text.startsWith("SET ")) batches << r.db + " | " + r.text;
        }
        QCOMPARE(uses, (QStringList{"USE [" + Ucetnictvi + "]", "USE [" + Mzdy + "]"}));
        QCOMPARE(batches, (QStringList{Ucetnictvi + " | " + joined, Mzdy + " | " + joined}));
        // The runner never writes the task file.
        QCOMPARE(ReadText(file), written);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
