// The task editor dialog, driven through ExecuteEditPlan and the names of
// its controls.

#include "editor/Dialogs.h"
#include "editor/EditPlan.h"
#include "editor/PrednSQL.h"
#include "editor/data.h"
#include "ModalDriver.h"
#include "platform/error.h"
#include "platform/text.h"

#include <Qsci/qscilexer.h>
#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace znx::editor;

namespace {

QString U(const char* Text) { return QString::fromUtf8(Text); }

const QString FormName = QStringLiteral("FormEditPlan");

// The five values of one call.
struct TaskValues {
    QString Name;
    QString Keyword;
    QStringList Sql;
    int Timeout = 0;
    QStringList Targets;

    bool operator==(const TaskValues& Other) const {
        return Name == Other.Name && Keyword == Other.Keyword && Sql == Other.Sql && Timeout == Other.Timeout &&
               Targets == Other.Targets;
    }
};

char* toString(const TaskValues& V) {
    return QTest::toString(QStringLiteral("{%1 | %2 | [%3] | %4 | [%5]}")
                               .arg(V.Name, V.Keyword, V.Sql.join(QStringLiteral("/")))
                               .arg(V.Timeout)
                               .arg(V.Targets.join(QStringLiteral("/"))));
}

TaskValues Sample() {
    return {U("Záloha"), QStringLiteral("KASTELAN"),
            {U("backup database Koral1"), QString(), U("to disk = 'D:\\zaloha.bak' with init")},
            120,
            {QStringLiteral("Koral1"), QStringLiteral("Koral2")}};
}

// Opens the dialog with the values, runs Body on it, returns the result.
bool Run(TaskValues& Values, std::function<void(TFormEditPlan*)> Body) {
    driver::WhenModal<TFormEditPlan>(FormName, std::move(Body));
    return ExecuteEditPlan(Values.Name, Values.Keyword, Values.Sql, Values.Timeout, Values.Targets);
}

QStringList Entries(QListWidget* List) {
    QStringList Result;
    for (int Row = 0; Row < List->count(); ++Row)
        Result.append(List->item(Row)->text());
    return Result;
}

// Which of the target list and the picking boxes are shown.
QString Shown(TFormEditPlan* Form) {
    QStringList Parts;
    if (Form->ListBoxCatalog->isVisible())
        Parts << QStringLiteral("list");
    if (Form->Label3->isVisible())
        Parts << QStringLiteral("label");
    if (Form->GroupBoxCS->isVisible())
        Parts << QStringLiteral("CS");
    if (Form->GroupBoxPX->isVisible())
        Parts << QStringLiteral("PX");
    return Parts.join(QLatin1Char(' '));
}

void Replace(QLineEdit* Edit, const QString& Text) {
    Edit->setFocus();
    Edit->selectAll();
    driver::PressKey(Edit, Qt::Key_Delete);
    driver::TypeText(Edit, Text);
}

} // namespace

class TestEditPlan : public QObject {
    Q_OBJECT

    TMainData Data;

private slots:
    void init() {
        Data.ServerInstalled = true;
        Data.Catalogs = std::make_unique<QStringList>(
            QStringList{QStringLiteral("master"), QStringLiteral("Koral1"), QStringLiteral("Koral2")});
        SetMainData(&Data);
        SetSelectDirectoryFunction({});
    }
    void cleanup() {
        driver::CancelAll();
        driver::CloseAllModals();
        driver::Failures().clear();
        SetSelectDirectoryFunction({});
    }

    void formLayout() {
        TFormEditPlan Form;
        QCOMPARE(Form.windowTitle(), U("Plánovaná činnost"));
        QCOMPARE(Form.size(), QSize(512, 440));
        QCOMPARE(Form.minimumSize(), Form.maximumSize());
        QVERIFY(!(Form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(Form.windowFlags() & Qt::WindowMaximizeButtonHint));
        struct Place {
            const char* Name;
            QRect Rect;
            const char* Text;
        };
        const Place Places[] = {
            {"EditNazev", {16, 24, 481, 21}, nullptr},
            {"Button5", {360, 54, 137, 17}, "Přednastavené příkazy"},
            {"MemoSQL", {16, 72, 481, 169}, nullptr},
            {"ComboProgram", {72, 248, 425, 21}, nullptr},
            {"ListBoxCatalog", {16, 288, 305, 113}, nullptr},
            {"GroupBoxCS", {328, 288, 177, 97}, "Seznam databází"},
            {"ComboCatalog", {16, 20, 145, 21}, nullptr},
            {"Button3", {16, 48, 65, 25}, "Přidat"},
            {"Button4", {96, 48, 65, 25}, "Ubrat"},
            {"GroupBoxPX", {328, 288, 177, 97}, "Složka s daty"},
            {"EditData", {8, 20, 137, 21}, nullptr},
            {"SpeedButton1", {144, 20, 23, 22}, "..."},
            {"Button6", {16, 56, 65, 25}, "Přidat"},
            {"Button7", {96, 56, 65, 25}, "Ubrat"},
            {"TimeoutEdit", {72, 408, 81, 21}, nullptr},
            {"Button1", {336, 400, 75, 25}, "OK"},
            {"Button2", {424, 400, 75, 25}, "Storno"},
        };
        for (const Place& P : Places) {
            auto* W = Form.findChild<QWidget*>(QString::fromLatin1(P.Name));
            QVERIFY2(W, P.Name);
            QCOMPARE(W->geometry(), P.Rect);
            if (P.Text) {
                QString Text;
                if (auto* B = qobject_cast<QAbstractButton*>(W))
                    Text = B->text();
                else if (auto* G = qobject_cast<QGroupBox*>(W))
                    Text = G->title();
                QCOMPARE(Text, U(P.Text));
            }
        }
        const std::pair<const char*, const char*> Labels[] = {
            {"Label1", "Název plánované činnosti"}, {"Label2", "SQL příkaz"}, {"Label5", "Program,"},
            {"Label3", "Databáze nebo složka s daty, pro které se příkaz provede"}, {"Label4", "Timeout"}};
        for (const auto& [Name, Text] : Labels) {
            auto* L = Form.findChild<QLabel*>(QString::fromLatin1(Name));
            QVERIFY2(L, Name);
            QCOMPARE(L->text(), U(Text));
        }
        QCOMPARE(Form.findChild<QLabel*>(QStringLiteral("Label3"))->pos(), QPoint(16, 272));
        QCOMPARE(Form.findChild<QLabel*>(QStringLiteral("Label4"))->pos(), QPoint(16, 416));
        QCOMPARE(Form.ComboCatalog->parentWidget(), Form.GroupBoxCS);
        QCOMPARE(Form.EditData->parentWidget(), Form.GroupBoxPX);
        QCOMPARE(Form.SpeedButton1->toolTip(), U("Výběr složky s daty"));
        QCOMPARE(Form.ComboProgram->count(), 5);
        QCOMPARE(Form.ComboProgram->itemText(0), U("Koral/Korálek CS, Kuryr"));
        QCOMPARE(Form.ComboProgram->itemText(1), U("Kastelán CS"));
        QCOMPARE(Form.ComboProgram->itemText(2), U("Složka s daty (např. Korálíček PX, SHARED CS)"));
        QCOMPARE(Form.ComboProgram->itemText(3), U("Složka s daty včetně podsložek (např. Korálíček PX, SHARED CS)"));
        QCOMPARE(Form.ComboProgram->itemText(4), U("Hromadně Koral/Korálek CS, Kastelán, Kuryr"));
        QVERIFY(!Form.ComboProgram->isEditable());
        QVERIFY(Form.ComboCatalog->isEditable());
        QCOMPARE(Form.ListBoxCatalog->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(Form.TimeoutEdit->alignment() & Qt::AlignRight);
        for (QPushButton* B : Form.findChildren<QPushButton*>())
            QVERIFY2(!B->isDefault() && !B->autoDefault(), qPrintable(B->objectName()));
    }

    void memoSettings() {
        TFormEditPlan Form;
        QsciScintilla* Memo = Form.MemoSQL;
        QVERIFY(Memo->lexer());
        const QString Keywords = QString::fromLatin1(Memo->lexer()->keywords(1));
        for (const char* Word : {"backup", "database", "dbcc", "declare", "cursor", "fetch", "deallocate", "disk",
                                 "init", "exec", "execute", "select"})
            QVERIFY2(Keywords.split(QLatin1Char(' ')).contains(QString::fromLatin1(Word)), Word);
        QCOMPARE(Memo->tabWidth(), 2);
        const QFont Font = Memo->lexer()->font(0);
        QCOMPARE(Font.pointSize(), 10);
        QVERIFY(QFontInfo(Font).fixedPitch());
        QVERIFY(Memo->lexer()->font(5).bold());    // reserved words
        QVERIFY(Memo->lexer()->font(1).italic());  // comments
        QCOMPARE(Memo->lexer()->color(1), QColor(0x80, 0x80, 0x00));
        QCOMPARE(Memo->lexer()->color(4), QColor(0x00, 0x00, 0x80));
        QCOMPARE(Memo->lexer()->color(7), QColor(0x80, 0x00, 0x80));
        QCOMPARE(Memo->lexer()->color(10), QColor(0x00, 0x00, 0xff));
    }

    // The values go in, are shown, and come back out as edited.
    void valuesInAndOut() {
        TaskValues V = Sample();
        auto SeenIn = std::make_shared<TaskValues>();
        auto FocusOnName = std::make_shared<bool>(false);
        const bool Ok = Run(V, [SeenIn, FocusOnName](TFormEditPlan* Form) {
            *FocusOnName = QApplication::focusWidget() == Form->EditNazev;
            SeenIn->Name = Form->EditNazev->text();
            SeenIn->Keyword = KindKeywords().value(Form->ComboProgram->currentIndex());
            SeenIn->Sql = Form->SqlLines();
            SeenIn->Timeout = Form->TimeoutEdit->text().toInt();
            SeenIn->Targets = Entries(Form->ListBoxCatalog);

            Replace(Form->EditNazev, U("Komprimace Kuryr "));
            Form->MemoSQL->setFocus();
            Form->MemoSQL->selectAll();
            driver::PressKey(Form->MemoSQL, Qt::Key_Delete);
            driver::TypeText(Form->MemoSQL, U("dbcc shrinkdatabase (Kuryr, 10)"));
            driver::PressKey(Form->MemoSQL, Qt::Key_Return);
            driver::PressKey(Form->MemoSQL, Qt::Key_Return);
            driver::TypeText(Form->MemoSQL, U("-- čištění"));
            Form->ComboProgram->setCurrentIndex(0);
            Form->ComboCatalog->setCurrentIndex(2);
            Form->Button3->click();
            Replace(Form->TimeoutEdit, QStringLiteral("3600"));
            Form->Button1->click();
        });
        DRIVER_CHECK();
        QVERIFY(Ok);
        QVERIFY(*FocusOnName);
        QCOMPARE(*SeenIn, Sample());
        const TaskValues Expected{U("Komprimace Kuryr "), QStringLiteral("KORAL"),
                                  {U("dbcc shrinkdatabase (Kuryr, 10)"), QString(), U("-- čištění")},
                                  3600,
                                  {QStringLiteral("Koral1"), QStringLiteral("Koral2"), QStringLiteral("Koral2")}};
        QCOMPARE(V, Expected);
    }

    // The keyword selects its choice exactly; the choice gives its keyword
    // back; the kind rule shows the matching controls.
    void kindChoiceAndRule_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("KORAL") << "KORAL" << 0 << "KORAL" << "list label CS";
        QTest::newRow("KASTELAN") << "KASTELAN" << 1 << "KASTELAN" << "list label CS";
        QTest::newRow("PARADOX") << "PARADOX" << 2 << "PARADOX" << "list label PX";
        QTest::newRow("PARADOX_R") << "PARADOX_R" << 3 << "PARADOX_R" << "list label PX";
        QTest::newRow("CS_ALL") << "CS_ALL" << 4 << "CS_ALL" << "";
        QTest::newRow("unknown") << "ZALOHA" << 0 << "KORAL" << "list label CS";
        QTest::newRow("empty") << "" << 0 << "KORAL" << "list label CS";
        QTest::newRow("lower case") << "paradox" << 0 << "KORAL" << "list label CS";
    }
    void kindChoiceAndRule() {
        QFETCH(QString, keyword);
        QFETCH(int, choice);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        TaskValues V = Sample();
        V.Keyword = keyword;
        auto SeenChoice = std::make_shared<int>(-1);
        auto SeenShown = std::make_shared<QString>();
        QVERIFY(Run(V, [SeenChoice, SeenShown](TFormEditPlan* Form) {
            *SeenChoice = Form->ComboProgram->currentIndex();
            *SeenShown = Shown(Form);
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(*SeenChoice, choice);
        QCOMPARE(*SeenShown, shown);
        TaskValues Expected = Sample();
        Expected.Keyword = stored;
        QCOMPARE(V, Expected); // hidden targets included
    }

    void cancelLeavesEverythingUntouched_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Storno") << QStringLiteral("storno");
        QTest::newRow("Esc") << QStringLiteral("esc");
        QTest::newRow("Esc in the command text") << QStringLiteral("esc-memo");
        QTest::newRow("close box") << QStringLiteral("close");
    }
    void cancelLeavesEverythingUntouched() {
        QFETCH(QString, how);
        TaskValues V = Sample();
        const bool Ok = Run(V, [how](TFormEditPlan* Form) {
            Replace(Form->EditNazev, QStringLiteral("changed"));
            Form->SetSqlLines({QStringLiteral("select 1")});
            Form->ComboProgram->setCurrentIndex(4);
            Form->ListBoxCatalog->clear();
            Replace(Form->TimeoutEdit, QStringLiteral("5"));
            if (how == QLatin1String("storno"))
                Form->Button2->click();
            else if (how == QLatin1String("esc"))
                driver::PressKey(Form->TimeoutEdit, Qt::Key_Escape);
            else if (how == QLatin1String("esc-memo")) {
                Form->MemoSQL->setFocus();
                QTest::keyClick(Form->MemoSQL, Qt::Key_Escape);
            } else
                Form->close();
        });
        DRIVER_CHECK();
        QVERIFY(!Ok);
        QCOMPARE(V, Sample());
    }

    // Enter does not press OK, in the name field nor anywhere else.
    void enterDoesNotConfirm() {
        TaskValues V = Sample();
        auto StillOpen = std::make_shared<bool>(false);
        const bool Ok = Run(V, [StillOpen](TFormEditPlan* Form) {
            QTest::keyClick(Form->EditNazev, Qt::Key_Return);
            QTest::keyClick(Form->TimeoutEdit, Qt::Key_Enter);
            QTest::keyClick(Form->ComboProgram, Qt::Key_Return);
            QTest::keyClick(Form, Qt::Key_Return);
            QTimer::singleShot(50, Form, [Form, StillOpen] {
                *StillOpen = Form->isVisible();
                Form->Button2->click();
            });
        });
        DRIVER_CHECK();
        QVERIFY(*StillOpen);
        QVERIFY(!Ok);
    }

    void csAllKeepsAndReturnsTargets() {
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("CS_ALL");
        auto SeenShown = std::make_shared<QString>(QStringLiteral("?"));
        QVERIFY(Run(V, [SeenShown](TFormEditPlan* Form) {
            *SeenShown = Shown(Form);
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(*SeenShown, QString());
        QCOMPARE(V.Keyword, QStringLiteral("CS_ALL"));
        QCOMPARE(V.Targets, Sample().Targets);
    }

    // Changing the kind changes only what is shown: entries stay, whatever kind
    // they were added under.
    void switchingKindsKeepsEntries() {
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("KORAL");
        auto Steps = std::make_shared<QStringList>();
        QVERIFY(Run(V, [Steps](TFormEditPlan* Form) {
            Form->ComboProgram->setCurrentIndex(2);
            *Steps << Shown(Form) + QLatin1Char(':') + Entries(Form->ListBoxCatalog).join(QLatin1Char(','));
            Replace(Form->EditData, QStringLiteral("/srv/data/PX"));
            Form->Button6->click();
            Form->ComboProgram->setCurrentIndex(4);
            *Steps << Shown(Form) + QLatin1Char(':') + Entries(Form->ListBoxCatalog).join(QLatin1Char(','));
            Form->ComboProgram->setCurrentIndex(3);
            *Steps << Shown(Form) + QLatin1Char(':') + Entries(Form->ListBoxCatalog).join(QLatin1Char(','));
            Form->ComboProgram->setCurrentIndex(1);
            *Steps << Shown(Form) + QLatin1Char(':') + Entries(Form->ListBoxCatalog).join(QLatin1Char(','));
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(*Steps, (QStringList{QStringLiteral("list label PX:Koral1,Koral2"),
                                      QStringLiteral(":Koral1,Koral2,/srv/data/PX"),
                                      QStringLiteral("list label PX:Koral1,Koral2,/srv/data/PX"),
                                      QStringLiteral("list label CS:Koral1,Koral2,/srv/data/PX")}));
        QCOMPARE(V.Keyword, QStringLiteral("KASTELAN"));
        QCOMPARE(V.Targets, (QStringList{QStringLiteral("Koral1"), QStringLiteral("Koral2"), QStringLiteral("/srv/data/PX")}));
    }

    // The close check on OK: a name and a command text with a character of
    // code 32 or above are needed; a refusal shows the plain message and keeps
    // the dialog open with its contents.
    void closeCheck_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("sql");
        QTest::addColumn<bool>("passes");
        QTest::newRow("blank name passes") << "   " << QStringList{"select 1"} << true;
        QTest::newRow("empty name fails") << "" << QStringList{"select 1"} << false;
        QTest::newRow("no command text fails") << "x" << QStringList{} << false;
        QTest::newRow("empty lines only fail") << "x" << QStringList{"", "", ""} << false;
        QTest::newRow("control characters only fail") << "x" << QStringList{"\t", "\x01\x1f"} << false;
        QTest::newRow("blanks only pass") << "x" << QStringList{"   "} << true;
        QTest::newRow("letters above ASCII pass") << "x" << QStringList{U("č")} << true;
    }
    void closeCheck() {
        QFETCH(QString, name);
        QFETCH(QStringList, sql);
        QFETCH(bool, passes);
        TaskValues V = Sample();
        V.Name = name;
        V.Sql = sql;
        auto Message = std::make_shared<driver::BoxSeen>();
        auto AfterRefusal = std::make_shared<QString>();
        const bool Ok = Run(V, [Message, AfterRefusal, passes](TFormEditPlan* Form) {
            if (!passes) {
                driver::AnswerBox(QString::fromLatin1(PlainMessageBoxName), QStringLiteral("OK"), Message);
                // After the message: still open, contents kept; then cancel.
                driver::WhenModal<TFormEditPlan>(FormName, [AfterRefusal](TFormEditPlan* Again) {
                    *AfterRefusal = Again->EditNazev->text() + QLatin1Char('|') +
                                    Again->SqlLines().join(QLatin1Char('/'));
                    Again->Button2->click();
                });
            }
            Form->Button1->click();
        });
        DRIVER_CHECK();
        QCOMPARE(Ok, passes);
        if (passes) {
            QCOMPARE(V.Name, name);
            QCOMPARE(V.Sql, sql);
            QVERIFY(!Message->Opened);
        } else {
            QVERIFY(Message->Opened);
            QCOMPARE(Message->Text, U("Nemáte vyplněny všechny údaje"));
            QCOMPARE(Message->Title, ApplicationTitle());
            QCOMPARE(Message->Icon, QMessageBox::NoIcon);
            QCOMPARE(*AfterRefusal, name + QLatin1Char('|') + sql.join(QLatin1Char('/')));
            QCOMPARE(V.Name, name); // cancelled afterwards: untouched
        }
    }

    void stripControlChars() {
        QCOMPARE(StripControlChars(QStringLiteral("a\r\nb\tc\x01 d")), QStringLiteral("abc d"));
        QCOMPARE(StripControlChars(U("\x1f\x20č\x7f")), U(" č\x7f"));
        QCOMPARE(StripControlChars(QStringLiteral("\r\n\r\n")), QString());
    }

    void timeoutField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("number") << "600" << 600;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-30" << -30;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("sign only") << "-" << 0;
    }
    void timeoutField() {
        QFETCH(QString, text);
        QFETCH(int, value);
        TaskValues V = Sample();
        QVERIFY(Run(V, [text](TFormEditPlan* Form) {
            Replace(Form->TimeoutEdit, text);
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(V.Timeout, value);
    }

    // Typing is limited to a 32-bit integer: letters and too many digits are refused.
    void timeoutFieldRefusesNonNumbers() {
        TFormEditPlan Form;
        Form.show();
        Replace(Form.TimeoutEdit, QStringLiteral("12a3"));
        QCOMPARE(Form.TimeoutEdit->text(), QStringLiteral("123"));
        Replace(Form.TimeoutEdit, QStringLiteral("99999999999"));
        QCOMPARE(Form.TimeoutValue(), 999999999);
        Form.TimeoutEdit->setText(QStringLiteral("abc")); // not typed: still reads as 0
        QCOMPARE(Form.TimeoutValue(), 0);
    }

    void ubratAsksEvenWithNothingSelected_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("left");
        const QStringList All{QStringLiteral("Koral1"), QStringLiteral("Koral2")};
        QTest::newRow("none selected, Yes") << "Button4" << -1 << "&Yes" << All;
        QTest::newRow("none selected, No") << "Button4" << -1 << "&No" << All;
        QTest::newRow("selected, No") << "Button4" << 0 << "&No" << All;
        QTest::newRow("selected, Yes") << "Button4" << 0 << "&Yes" << QStringList{QStringLiteral("Koral2")};
        QTest::newRow("folder box, Yes") << "Button7" << 1 << "&Yes" << QStringList{QStringLiteral("Koral1")};
        QTest::newRow("folder box, none selected") << "Button7" << -1 << "&Yes" << All;
    }
    void ubratAsksEvenWithNothingSelected() {
        QFETCH(QString, button);
        QFETCH(int, selected);
        QFETCH(QString, answer);
        QFETCH(QStringList, left);
        TaskValues V = Sample();
        V.Keyword = button == QLatin1String("Button7") ? QStringLiteral("PARADOX") : QStringLiteral("KORAL");
        auto Question = std::make_shared<driver::BoxSeen>();
        QVERIFY(Run(V, [=](TFormEditPlan* Form) {
            Form->ListBoxCatalog->clearSelection();
            Form->ListBoxCatalog->setCurrentRow(selected);
            driver::AnswerBox(QString::fromLatin1(ConfirmBoxName), answer, Question);
            driver::WhenModal<TFormEditPlan>(FormName, [](TFormEditPlan* Again) { Again->Button1->click(); });
            driver::Child<QPushButton>(Form, qPrintable(button))->click();
        }));
        DRIVER_CHECK();
        QVERIFY(Question->Opened);
        QCOMPARE(Question->Text, U("Opravdu chcete smazat definici?"));
        QCOMPARE(Question->Title, QStringLiteral("Confirm"));
        QCOMPARE(V.Targets, left);
    }

    void pridatDatabase() {
        TaskValues V = Sample();
        V.Targets.clear();
        auto FirstSelected = std::make_shared<QString>();
        QVERIFY(Run(V, [FirstSelected](TFormEditPlan* Form) {
            *FirstSelected = Form->ComboCatalog->currentText();
            Form->Button3->click();                       // master, chosen at start
            Form->ComboCatalog->setCurrentIndex(2);
            Form->Button3->click();                       // Koral2
            Form->Button3->click();                       // again: appended again
            Form->ComboCatalog->setEditText(QStringLiteral("Neznama"));
            Form->Button3->click();                       // typed, names no entry: nothing
            Form->ComboCatalog->setEditText(QStringLiteral("Koral1"));
            Form->Button3->click();                       // typed, names an entry: that entry
            Form->ComboCatalog->setEditText(QString());
            Form->Button3->click();                       // nothing chosen: nothing
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(*FirstSelected, QStringLiteral("master"));
        QCOMPARE(V.Targets, (QStringList{QStringLiteral("master"), QStringLiteral("Koral2"), QStringLiteral("Koral2"),
                                         QStringLiteral("Koral1")}));
    }

    void databaseBoxFollowsTheDataModule_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("catalogs");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("installed") << true << QStringList{"a", "b"} << QStringList{"a", "b"};
        QTest::newRow("installed, no databases") << true << QStringList{} << QStringList{};
        QTest::newRow("not installed") << false << QStringList{"a"} << QStringList{};
    }
    void databaseBoxFollowsTheDataModule() {
        QFETCH(bool, installed);
        QFETCH(QStringList, catalogs);
        QFETCH(QStringList, offered);
        Data.ServerInstalled = installed;
        *Data.Catalogs = catalogs;
        TFormEditPlan Form;
        QStringList Items;
        for (int I = 0; I < Form.ComboCatalog->count(); ++I)
            Items << Form.ComboCatalog->itemText(I);
        QCOMPARE(Items, offered);
        QCOMPARE(Form.ComboCatalog->currentIndex(), offered.isEmpty() ? -1 : 0);
        Form.Button3->click();
        QCOMPARE(Entries(Form.ListBoxCatalog), offered.mid(0, 1));
        // No list at all (no server product found) is an empty box as well.
        Data.Catalogs.reset();
        TFormEditPlan Bare;
        QCOMPARE(Bare.ComboCatalog->count(), 0);
    }

    void pridatFolder() {
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("PARADOX_R");
        V.Targets.clear();
        QVERIFY(Run(V, [](TFormEditPlan* Form) {
            Replace(Form->EditData, U(" /srv/Korálíček/PX "));
            Form->Button6->click();
            Form->Button6->click();
            Replace(Form->EditData, QString());
            Form->Button6->click(); // empty: nothing
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(V.Targets, (QStringList{U(" /srv/Korálíček/PX "), U(" /srv/Korálíček/PX ")}));
    }

    void folderButtonFillsTheField() {
        auto Answers = std::make_shared<QList<std::pair<bool, QString>>>(
            QList<std::pair<bool, QString>>{{true, QStringLiteral("/srv/data/SHARED")}, {false, QStringLiteral("/x")}});
        SetSelectDirectoryFunction([Answers](QWidget*, QString& Folder) {
            const auto [Ok, Path] = Answers->takeFirst();
            if (Ok)
                Folder = Path;
            return Ok;
        });
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("PARADOX");
        auto Seen = std::make_shared<QStringList>();
        QVERIFY(Run(V, [Seen](TFormEditPlan* Form) {
            Form->SpeedButton1->click();
            *Seen << Form->EditData->text() << QString::number(Form->ListBoxCatalog->count());
            Form->SpeedButton1->click(); // cancelled: the field keeps its text
            *Seen << Form->EditData->text();
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QCOMPARE(*Seen, (QStringList{QStringLiteral("/srv/data/SHARED"), QStringLiteral("2"),
                                     QStringLiteral("/srv/data/SHARED")}));
        QCOMPARE(V.Targets, Sample().Targets);
    }

    // The standard folder dialog takes a typed folder that does not exist yet
    // and creates it after the question; an existing folder needs no question.
    void folderDialogCreatesATypedFolder_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("new, Yes") << false << "&Yes" << true;
        QTest::newRow("new, No") << false << "&No" << false;
        QTest::newRow("existing") << true << "" << true;
    }
    void folderDialogCreatesATypedFolder() {
        QFETCH(bool, exists);
        QFETCH(QString, answer);
        QFETCH(bool, chosen);
        QTemporaryDir Root;
        QVERIFY(Root.isValid());
        const QString Wanted = Root.filePath(U("nová/záloha"));
        const QString RootPath = Root.path();
        if (exists)
            QVERIFY(QDir().mkpath(Wanted));
        auto Question = std::make_shared<driver::BoxSeen>();
        driver::WhenModal<QFileDialog>(QStringLiteral("SelectDirectory"), [=](QFileDialog* Dialog) {
            if (!exists)
                driver::AnswerBox(QString::fromLatin1(ConfirmBoxName), answer, Question);
            if (!chosen)
                driver::WhenModal<QFileDialog>(QStringLiteral("SelectDirectory"),
                                               [](QFileDialog* Again) { Again->reject(); });
            Dialog->setDirectory(RootPath);
            auto* Name = Dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (Name)
                Name->setText(Wanted);
            else
                Dialog->selectFile(Wanted);
            QMetaObject::invokeMethod(Dialog, "accept");
        });
        QString Folder;
        const bool Ok = SelectDirectoryStandard(nullptr, Folder);
        DRIVER_CHECK();
        QCOMPARE(Question->Opened, !exists);
        if (!exists)
            QVERIFY(Question->Text.contains(U("záloha")));
        QCOMPARE(Ok, chosen);
        QCOMPARE(QFileInfo(Wanted).isDir(), chosen);
        if (chosen)
            QCOMPARE(QDir::fromNativeSeparators(Folder), QDir::cleanPath(Wanted));
        else
            QVERIFY(Folder.isEmpty());
    }

    // An error of the folder dialog or of the templates is shown in the
    // standard error box; the task dialog stays open with its contents.
    void errorsOfTheHelpersAreShown() {
        SetSelectDirectoryFunction([](QWidget*, QString&) -> bool {
            throw znx::Error(znx::SysText("Přístup odepřen"));
        });
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("PARADOX");
        auto Error = std::make_shared<driver::BoxSeen>();
        auto AfterError = std::make_shared<QString>();
        QVERIFY(Run(V, [Error, AfterError](TFormEditPlan* Form) {
            Replace(Form->EditData, QStringLiteral("/srv/x"));
            driver::AnswerBox(QString::fromLatin1(ErrorBoxName), QStringLiteral("OK"), Error);
            driver::WhenModal<TFormEditPlan>(FormName, [AfterError](TFormEditPlan* Again) {
                *AfterError = Again->EditData->text();
                Again->Button1->click();
            });
            Form->SpeedButton1->click();
        }));
        DRIVER_CHECK();
        QVERIFY(Error->Opened);
        QCOMPARE(Error->Text, U("Přístup odepřen."));
        QCOMPARE(Error->Icon, QMessageBox::Critical);
        QCOMPARE(*AfterError, QStringLiteral("/srv/x"));
        QCOMPARE(V.Targets, Sample().Targets);
    }

    // "Přednastavené příkazy": the chosen template replaces the whole text;
    // nothing else changes, the kind included. Cancelling keeps the text.
    void templateReplacesTheText_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<bool>("confirm");
        QTest::newRow("first, Enter") << 0 << true;
        QTest::newRow("bulk backup") << 5 << true;
        QTest::newRow("Storno") << 3 << false;
    }
    void templateReplacesTheText() {
        QFETCH(int, entry);
        QFETCH(bool, confirm);
        TaskValues V = Sample();
        V.Keyword = QStringLiteral("PARADOX");
        QVERIFY(Run(V, [entry, confirm](TFormEditPlan* Form) {
            driver::WhenModal<TFormPrednSQL>(QStringLiteral("FormPrednSQL"), [entry, confirm](TFormPrednSQL* Templates) {
                Templates->ListBox->setCurrentRow(entry);
                if (!confirm)
                    Templates->Button2->click();
                else
                    driver::PressKey(Templates->ListBox, Qt::Key_Return);
            });
            driver::WhenModal<TFormEditPlan>(FormName, [](TFormEditPlan* Again) { Again->Button1->click(); });
            Form->Button5->click();
        }));
        DRIVER_CHECK();
        TaskValues Expected = Sample();
        Expected.Keyword = QStringLiteral("PARADOX");
        if (confirm)
            Expected.Sql = PredefinedSQLLines(entry);
        QCOMPARE(V, Expected);
        if (entry == 5 && confirm) {
            QCOMPARE(V.Sql.size(), 18);
            QCOMPARE(V.Sql.at(9), V.Sql.at(14));
        }
    }

    // The command text round-trips line by line, empty lines included.
    void commandLinesRoundTrip_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("one empty line") << QStringList{""};
        QTest::newRow("gaps and trailing empty") << QStringList{"a", "", "b", ""};
        QTest::newRow("blanks and tabs kept") << QStringList{"  a\t", "\tb  "};
        QTest::newRow("Czech") << QStringList{U("-- záloha účtů"), U("select 'Žluť'")};
    }
    void commandLinesRoundTrip() {
        QFETCH(QStringList, lines);
        TaskValues V = Sample();
        V.Sql = lines;
        QVERIFY(Run(V, [](TFormEditPlan* Form) {
            Form->SetSqlLines(Form->SqlLines() + QStringList{QStringLiteral("x")});
            QStringList Back = Form->SqlLines();
            Back.removeLast();
            Form->SetSqlLines(Back);
            // an unchanged text, but OK needs some content
            if (StripControlChars(Back.join(QString())).isEmpty())
                Form->SetSqlLines(Back + QStringList{QStringLiteral("select 1")});
            Form->Button1->click();
        }));
        DRIVER_CHECK();
        QStringList Expected = lines;
        if (StripControlChars(lines.join(QString())).isEmpty())
            Expected << QStringLiteral("select 1");
        QCOMPARE(V.Sql, Expected);
    }
};

QTEST_MAIN(TestEditPlan)
#include "tst_editplan.moc"
