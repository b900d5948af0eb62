// The predefined commands dialog and SelectPredefinedSQL.

#include "editor/PrednSQL.h"
#include "ModalDriver.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace znx::editor;

namespace {

const QString FormName = QStringLiteral("FormPrednSQL");

QString U(const char* Text) { return QString::fromUtf8(Text); }

// What the driver saw of the dialog when it opened.
struct Opened {
    bool Seen = false;
    int Selected = -2;
    QString Title;
};

} // namespace

class TestPrednSQL : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        driver::CancelAll();
        driver::CloseAllModals();
        driver::Failures().clear();
    }

    void formLayout() {
        TFormPrednSQL Form;
        QCOMPARE(Form.windowTitle(), U("Přednastevené příkazy SQL"));
        QCOMPARE(Form.size(), QSize(344, 264));
        QCOMPARE(Form.minimumSize(), Form.maximumSize());
        auto* List = Form.findChild<QListWidget*>(QStringLiteral("ListBox"));
        auto* Ok = Form.findChild<QPushButton*>(QStringLiteral("Button1"));
        auto* Cancel = Form.findChild<QPushButton*>(QStringLiteral("Button2"));
        QVERIFY(List && Ok && Cancel);
        QCOMPARE(List->geometry(), QRect(8, 8, 329, 201));
        QCOMPARE(Ok->geometry(), QRect(168, 224, 75, 25));
        QCOMPARE(Cancel->geometry(), QRect(256, 224, 75, 25));
        QCOMPARE(Ok->text(), QStringLiteral("OK"));
        QCOMPARE(Cancel->text(), QStringLiteral("Storno"));
        QVERIFY(Ok->isDefault());
        QVERIFY(!Cancel->isDefault());
        const QStringList Expected{U("Zálohování databáze CS"),
                                   U("Zálohování složky s daty"),
                                   U("Vymazání označovacích záznamů pro eKlient"),
                                   U("Odstranění vymazaných záznamů (komprimace dat) CS"),
                                   U("Zálohování sdílené složky SHARED"),
                                   U("Hromadné zálohování databází Koral, Kastelán, Kuryr")};
        QStringList Shown;
        for (int Row = 0; Row < List->count(); ++Row)
            Shown.append(List->item(Row)->text());
        QCOMPARE(Shown, Expected);
        QCOMPARE(List->currentRow(), 0);
        QCOMPARE(List->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(List->sizeHintForRow(0), 13);
    }

    // Each entry chosen and confirmed with OK yields its own lines, appended
    // after what the list already held.
    void entriesAppendTheirLines_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("0") << 0
                           << QStringList{U("backup database <jmeno_databaze>"), U("to disk = '<cesta>' with init")};
        QTest::newRow("1") << 1 << QStringList{U("BACKUP [DATA|PRG|REPORT] <slozka_s_archivem>")};
        QTest::newRow("2") << 2 << QStringList{U("delete from ek_selection where VYTVORENI < Getdate()-2")};
        QTest::newRow("3") << 3 << QStringList{U("dbcc shrinkdatabase (<jmeno_databaze> , 10)")};
        QTest::newRow("4") << 4 << QStringList{U("BACKUP SHARED <slozka_s_archivem>")};
        QTest::newRow("5") << 5
                           << QStringList{
                                  U("DECLARE @CATALOG_NAME VARCHAR(255),"),
                                  U("@MyCursor CURSOR,"),
                                  U("@BACKUPSTR VARCHAR(1000),"),
                                  U("@CESTAZALOHY VARCHAR(1000)"),
                                  U("SET @CESTAZALOHY='<slozka_s_archivem>'"),
                                  U("SET @MyCursor = CURSOR LOCAL FAST_FORWARD FOR"),
                                  U("SELECT name FROM sysdatabases"),
                                  U("WHERE SUBSTRING(name, 1, 3)='_SP' OR name in ('KASTELAN','znxisds')"),
                                  U("OPEN @MyCursor"),
                                  U("FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME"),
                                  U("WHILE @@FETCH_STATUS = 0"),
                                  U("BEGIN"),
                                  U("SET @BACKUPSTR='BACKUP DATABASE '+@CATALOG_NAME+' TO "
                                    "DISK='''+@CESTAZALOHY+@CATALOG_NAME+'.BAK'' WITH INIT'"),
                                  U("Execute(@BACKUPSTR)"),
                                  U("FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME"),
                                  U("END"),
                                  U("CLOSE @MyCursor"),
                                  U("DEALLOCATE @MyCursor")};
    }
    void entriesAppendTheirLines() {
        QFETCH(int, entry);
        QFETCH(QStringList, lines);
        driver::WhenModal<TFormPrednSQL>(FormName, [entry](TFormPrednSQL* Form) {
            auto* List = driver::Child<QListWidget>(Form, "ListBox");
            QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(entry)).center());
            driver::Child<QPushButton>(Form, "Button1")->click();
        });
        QStringList Lines{U("earlier line")};
        QVERIFY(SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QCOMPARE(Lines, QStringList{U("earlier line")} + lines);
        QCOMPARE(PredefinedSQLLines(entry), lines);
    }

    void bulkBackupScriptShape() {
        const QStringList Lines = PredefinedSQLLines(5);
        QCOMPARE(Lines.size(), 18);
        QCOMPARE(Lines.at(9), U("FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME"));  // line 10
        QCOMPARE(Lines.at(14), U("FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME")); // line 15
        QCOMPARE(Lines.count(Lines.at(9)), 2);
        QCOMPARE(PredefinedSQLCount(), 6);
        QVERIFY(PredefinedSQLLines(6).isEmpty());
        QVERIFY(PredefinedSQLLines(-1).isEmpty());
    }

    void enterAtOnceYieldsEntryZero() {
        auto Seen = std::make_shared<Opened>();
        driver::WhenModal<TFormPrednSQL>(FormName, [Seen](TFormPrednSQL* Form) {
            Seen->Seen = true;
            Seen->Title = Form->windowTitle();
            Seen->Selected = Form->ListBox->currentRow();
            QWidget* Focus = QApplication::focusWidget();
            driver::PressKey(Focus ? Focus : Form, Qt::Key_Return);
        });
        QStringList Lines;
        QVERIFY(SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QCOMPARE(Seen->Selected, 0);
        QCOMPARE(Seen->Title, U("Přednastevené příkazy SQL"));
        QCOMPARE(Lines, PredefinedSQLLines(0));
        QCOMPARE(Lines.size(), 2);
    }

    // The choice is not remembered: every call starts at entry 0.
    void everyCallStartsAtEntryZero() {
        driver::WhenModal<TFormPrednSQL>(FormName, [](TFormPrednSQL* Form) {
            Form->ListBox->setCurrentRow(3);
            Form->Button1->click();
        });
        QStringList First;
        QVERIFY(SelectPredefinedSQL(First));
        auto Seen = std::make_shared<Opened>();
        driver::WhenModal<TFormPrednSQL>(FormName, [Seen](TFormPrednSQL* Form) {
            Seen->Selected = Form->ListBox->currentRow();
            Form->Button1->click();
        });
        QStringList Second;
        QVERIFY(SelectPredefinedSQL(Second));
        DRIVER_CHECK();
        QCOMPARE(First, PredefinedSQLLines(3));
        QCOMPARE(Seen->Selected, 0);
        QCOMPARE(Second, PredefinedSQLLines(0));
    }

    void doubleClickConfirms() {
        driver::WhenModal<TFormPrednSQL>(FormName, [](TFormPrednSQL* Form) {
            QListWidget* List = Form->ListBox;
            const QPoint Where = List->visualItemRect(List->item(4)).center();
            QTest::mouseDClick(List->viewport(), Qt::LeftButton, {}, Where);
        });
        QStringList Lines;
        QVERIFY(SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QCOMPARE(Lines, PredefinedSQLLines(4));
    }

    void cancelLeavesLinesUntouched_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Storno") << QStringLiteral("storno");
        QTest::newRow("close box") << QStringLiteral("close");
    }
    void cancelLeavesLinesUntouched() {
        QFETCH(QString, how);
        driver::WhenModal<TFormPrednSQL>(FormName, [how](TFormPrednSQL* Form) {
            Form->ListBox->setCurrentRow(5);
            if (how == QLatin1String("storno"))
                Form->Button2->click();
            else
                Form->close();
        });
        QStringList Lines{U("keep"), QString()};
        QVERIFY(!SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QCOMPARE(Lines, (QStringList{U("keep"), QString()}));
    }

    void escapeDoesNothing() {
        auto StillOpen = std::make_shared<bool>(false);
        driver::WhenModal<TFormPrednSQL>(FormName, [StillOpen](TFormPrednSQL* Form) {
            driver::PressKey(Form->ListBox, Qt::Key_Escape);
            driver::PressKey(Form, Qt::Key_Escape);
            QTimer::singleShot(50, Form, [Form, StillOpen] {
                *StillOpen = Form->isVisible();
                Form->Button2->click();
            });
        });
        QStringList Lines;
        QVERIFY(!SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QVERIFY(*StillOpen);
        QVERIFY(Lines.isEmpty());
    }

    // With the selection cleared (Ctrl+click) OK has nothing to confirm and
    // the dialog stays open.
    void okWithoutSelectionStaysOpen() {
        auto StillOpen = std::make_shared<bool>(false);
        driver::WhenModal<TFormPrednSQL>(FormName, [StillOpen](TFormPrednSQL* Form) {
            Form->ListBox->clearSelection();
            Form->Button1->click();
            *StillOpen = Form->isVisible();
            Form->ListBox->setCurrentRow(2);
            Form->Button1->click();
        });
        QStringList Lines;
        QVERIFY(SelectPredefinedSQL(Lines));
        DRIVER_CHECK();
        QVERIFY(*StillOpen);
        QCOMPARE(Lines, PredefinedSQLLines(2));
    }
};

QTEST_MAIN(TestPrednSQL)
#include "tst_prednsql.moc"
