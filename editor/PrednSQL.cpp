// The predefined commands: six fixed templates, offered in a small list.

#include "editor/PrednSQL.h"

#include "editor/Dialogs.h"

#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

namespace znx::editor {

namespace {

struct TTemplate {
    const char* Caption;
    std::initializer_list<const char*> Lines;
};

const TTemplate& Template(int Index) {
    static const TTemplate Templates[] = {
        {"Zálohování databáze CS",
         {"backup database <jmeno_databaze>", "to disk = '<cesta>' with init"}},
        {"Zálohování složky s daty", {"BACKUP [DATA|PRG|REPORT] <slozka_s_archivem>"}},
        {"Vymazání označovacích záznamů pro eKlient",
         {"delete from ek_selection where VYTVORENI < Getdate()-2"}},
        {"Odstranění vymazaných záznamů (komprimace dat) CS", {"dbcc shrinkdatabase (<jmeno_databaze> , 10)"}},
        {"Zálohování sdílené složky SHARED", {"BACKUP SHARED <slozka_s_archivem>"}},
        {"Hromadné zálohování databází Koral, Kastelán, Kuryr",
         {"DECLARE @CATALOG_NAME VARCHAR(255),",
          "@MyCursor CURSOR,",
          "@BACKUPSTR VARCHAR(1000),",
          "@CESTAZALOHY VARCHAR(1000)",
          "SET @CESTAZALOHY='<slozka_s_archivem>'",
          "SET @MyCursor = CURSOR LOCAL FAST_FORWARD FOR",
          "SELECT name FROM sysdatabases",
          "WHERE SUBSTRING(name, 1, 3)='_SP' OR name in ('KASTELAN','znxisds')",
          "OPEN @MyCursor",
          "FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME",
          "WHILE @@FETCH_STATUS = 0",
          "BEGIN",
          "SET @BACKUPSTR='BACKUP DATABASE '+@CATALOG_NAME+' TO DISK='''+@CESTAZALOHY+@CATALOG_NAME+'.BAK'' WITH INIT'",
          "Execute(@BACKUPSTR)",
          "FETCH NEXT FROM @MyCursor INTO @CATALOG_NAME",
          "END",
          "CLOSE @MyCursor",
          "DEALLOCATE @MyCursor"}},
    };
    return Templates[Index];
}

constexpr int TemplateCount = 6;

} // namespace

int PredefinedSQLCount() { return TemplateCount; }

QStringList PredefinedSQLLines(int Index) {
    QStringList Lines;
    if (Index < 0 || Index >= TemplateCount)
        return Lines;
    for (const char* Line : Template(Index).Lines)
        Lines.append(SysQ(Line));
    return Lines;
}

TFormPrednSQL::TFormPrednSQL(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormPrednSQL"));
    setWindowTitle(SysQ("Přednastevené příkazy SQL"));
    setFont(DialogFont());
    setFixedSize(344, 264);

    ListBox = new QListWidget(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    ListBox->setGeometry(8, 8, 329, 201);
    ListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox->setSortingEnabled(false);
    ListBox->setUniformItemSizes(true);
    for (int Index = 0; Index < TemplateCount; ++Index) {
        auto* Item = new QListWidgetItem(SysQ(Template(Index).Caption), ListBox);
        Item->setSizeHint(QSize(0, 13));
    }
    // A double click in the list confirms the selected entry, as OK does.
    ListBox->viewport()->installEventFilter(this);

    Button1 = new QPushButton(SysQ("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(168, 224, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    Button2 = new QPushButton(SysQ("Storno"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(256, 224, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
    ListBox->setFocus();
}

void TFormPrednSQL::FormCreate() { ListBox->setCurrentRow(0); }

void TFormPrednSQL::ListBoxDblClick() { accept(); }

bool TFormPrednSQL::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ListBox->viewport() && Event->type() == QEvent::MouseButtonDblClick) {
        // The list first takes the click (it selects the entry under the mouse).
        QMetaObject::invokeMethod(this, [this] { ListBoxDblClick(); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(Watched, Event);
}

QStringList TFormPrednSQL::SelectedLines() const {
    const QList<QListWidgetItem*> Selected = ListBox->selectedItems();
    if (Selected.isEmpty())
        return {};
    return PredefinedSQLLines(ListBox->row(Selected.first()));
}

void TFormPrednSQL::done(int Result) {
    // OK with no entry selected (the selection can be cleared with Ctrl+click)
    // would confirm nothing: the dialog stays open instead.
    if (Result == QDialog::Accepted && ListBox->selectedItems().isEmpty())
        return;
    QDialog::done(Result);
}

void TFormPrednSQL::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        Event->accept(); // Esc does not close this dialog
        return;
    }
    QDialog::keyPressEvent(Event);
}

bool SelectPredefinedSQL(QStringList& Lines) {
    TFormPrednSQL Form;
    if (Form.exec() != QDialog::Accepted)
        return false;
    Lines.append(Form.SelectedLines());
    return true;
}

} // namespace znx::editor
