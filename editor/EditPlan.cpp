// The task editor dialog: one task's name, command text, kind, targets and
// time-out, filled in by the caller and handed back on OK.

#include "editor/EditPlan.h"

#include "editor/Dialogs.h"
#include "editor/PrednSQL.h"
#include "editor/data.h"
#include "platform/error.h"
#include "storage/TaskFile.h"

#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

#include <exception>
#include <limits>

namespace znx::editor {

namespace {

// The SQL lexer with the keywords of the server's dialect (the stock list
// lacks BACKUP, DATABASE, DBCC and many more).
class TTransactSqlLexer : public QsciLexerSQL {
public:
    using QsciLexerSQL::QsciLexerSQL;

    const char* keywords(int Set) const override {
        if (Set == 1)
            return "add all alter and any as asc authorization backup begin between break browse bulk by "
                   "cascade case check checkpoint close clustered coalesce collate column commit compute "
                   "constraint contains containstable continue convert create cross current current_date "
                   "current_time current_timestamp current_user cursor database dbcc deallocate declare "
                   "default delete deny desc differential disk distinct distributed double drop dump else "
                   "end errlvl escape except exec execute exists exit external fetch file fillfactor for "
                   "foreign format freetext freetexttable from full function goto grant group having "
                   "holdlock identity identity_insert identitycol if in index init inner insert intersect "
                   "into is join key kill left like lineno load log merge national next nocheck "
                   "nonclustered noinit norecovery not null nullif of off offsets on open opendatasource "
                   "openquery openrowset openxml option or order outer over percent pivot plan precision "
                   "primary print proc procedure public raiserror read readtext reconfigure recovery "
                   "references replication restore restrict return revert revoke right rollback rowcount "
                   "rowguidcol rule save schema securityaudit select semantickeyphrasetable "
                   "semanticsimilaritydetailstable semanticsimilaritytable session_user set setuser "
                   "shutdown some statistics stats system_user table tablesample textsize then to top tran "
                   "transaction trigger truncate try_convert tsequal union unique unpivot update "
                   "updatetext use user values varying view waitfor when where while with within "
                   "writetext local fast_forward forward_only static dynamic keyset scroll "
                   "read_only optimistic global nowait returns output go "
                   "bigint binary bit char date datetime datetime2 decimal float image int money nchar "
                   "ntext numeric nvarchar real smalldatetime smallint smallmoney sql_variant text "
                   "time timestamp tinyint uniqueidentifier varbinary varchar xml";
        if (Set == 5) // functions of the dialect: shown as plain text, but known
            return "abs avg cast ceiling charindex count datalength dateadd datediff datename datepart "
                   "day db_id db_name floor getdate getutcdate isnull len lower ltrim max min month newid "
                   "object_id object_name replace replicate round rtrim space str stuff substring sum "
                   "upper year";
        return QsciLexerSQL::keywords(Set);
    }
};

// The command text editor: Esc is left to the dialog (it presses "Storno").
class TMemoSQL : public QsciScintilla {
public:
    using QsciScintilla::QsciScintilla;

protected:
    void keyPressEvent(QKeyEvent* Event) override {
        if (Event->key() == Qt::Key_Escape && !isListActive() && !isCallTipActive()) {
            Event->ignore();
            return;
        }
        QsciScintilla::keyPressEvent(Event);
    }
};

// Any 32-bit integer, and nothing else: a sign alone or an empty field are
// left while typing (they read as 0).
class TIntegerValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& Input, int&) const override {
        const QString Text = Input.trimmed();
        if (Text.isEmpty() || Text == QLatin1String("-") || Text == QLatin1String("+"))
            return Intermediate;
        for (qsizetype I = 0; I < Text.size(); ++I) {
            const QChar C = Text.at(I);
            if (!(C.isDigit() && C.unicode() < 128) && !(I == 0 && (C == QLatin1Char('-') || C == QLatin1Char('+'))))
                return Invalid;
        }
        bool Valid = false;
        Text.toInt(&Valid);
        return Valid ? Acceptable : Invalid;
    }
};

QFont EditorFont() {
    QFont Font(QStringLiteral("Courier New"));
    Font.setStyleHint(QFont::TypeWriter);
    Font.setPointSize(10);
    if (!QFontInfo(Font).fixedPitch()) {
        Font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        Font.setPointSize(10);
    }
    return Font;
}

void SetUpMemo(QsciScintilla* Memo, QWidget* Owner) {
    auto* Lexer = new TTransactSqlLexer(Memo);
    const QPalette Palette = Owner->palette();
    const QColor Paper = Palette.color(QPalette::Base);
    const QColor Ink = Palette.color(QPalette::Text);
    const QFont Plain = EditorFont();
    QFont Bold = Plain;
    Bold.setBold(true);
    QFont Italic = Plain;
    Italic.setItalic(true);

    Lexer->setDefaultPaper(Paper);
    Lexer->setDefaultColor(Ink);
    Lexer->setDefaultFont(Plain);
    for (int Style = 0; Style <= QsciScintillaBase::STYLE_MAX; ++Style) {
        if (Lexer->description(Style).isEmpty())
            continue;
        Lexer->setPaper(Paper, Style);
        Lexer->setColor(Ink, Style);
        Lexer->setFont(Plain, Style);
    }
    const QColor Olive(0x80, 0x80, 0x00), Navy(0x00, 0x00, 0x80), Purple(0x80, 0x00, 0x80),
        Blue(0x00, 0x00, 0xff), Green(0x00, 0x80, 0x00);
    for (int Style : {QsciLexerSQL::Comment, QsciLexerSQL::CommentLine, QsciLexerSQL::CommentDoc,
                      QsciLexerSQL::CommentLineHash, QsciLexerSQL::PlusComment, QsciLexerSQL::CommentDocKeyword,
                      QsciLexerSQL::CommentDocKeywordError}) {
        Lexer->setColor(Olive, Style);
        Lexer->setFont(Italic, Style);
    }
    Lexer->setColor(Navy, QsciLexerSQL::Number);
    Lexer->setColor(Purple, QsciLexerSQL::SingleQuotedString);
    Lexer->setColor(Purple, QsciLexerSQL::DoubleQuotedString);
    Lexer->setColor(Blue, QsciLexerSQL::Operator);
    Lexer->setColor(Blue, QsciLexerSQL::QuotedOperator);
    Lexer->setFont(Bold, QsciLexerSQL::Keyword);
    Lexer->setFont(Bold, QsciLexerSQL::PlusKeyword);
    Lexer->setColor(Green, QsciLexerSQL::PlusPrompt);

    Memo->setLexer(Lexer);
    Memo->setFont(Plain);
    Memo->setPaper(Paper);
    Memo->setColor(Ink);
    Memo->setUtf8(true);
#ifdef _WIN32
    Memo->setEolMode(QsciScintilla::EolWindows);
#else
    Memo->setEolMode(QsciScintilla::EolUnix);
#endif
    // Tab stops at columns 3 and 5 and on in steps of two.
    Memo->setTabWidth(2);
    Memo->setIndentationsUseTabs(true);
    Memo->setBraceMatching(QsciScintilla::SloppyBraceMatch);
    Memo->setMarginWidth(0, 0);
    Memo->setMarginWidth(1, 0);
    Memo->setMarginWidth(2, 0);
    Memo->setMarginLineNumbers(0, false);
    Memo->setFolding(QsciScintilla::NoFoldStyle);
    Memo->setWrapMode(QsciScintilla::WrapNone);
    // The horizontal scroll bar only when a line is wider than the editor.
    Memo->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTH, 1);
    Memo->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTHTRACKING, 1);
    Memo->viewport()->setCursor(Qt::IBeamCursor);
    Memo->setFrameShape(QFrame::StyledPanel);
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top) {
    auto* Label = new QLabel(SysQ(Caption), Parent);
    Label->setObjectName(QString::fromLatin1(Name));
    Label->move(Left, Top);
    Label->adjustSize();
    return Label;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption, QRect Place) {
    auto* Button = new QPushButton(SysQ(Caption), Parent);
    Button->setObjectName(QString::fromLatin1(Name));
    Button->setGeometry(Place);
    // No button of this dialog is pressed by Enter.
    Button->setAutoDefault(false);
    Button->setDefault(false);
    return Button;
}

// Runs one button's work; an error is shown in the standard error box and the
// dialog stays open.
template <typename Work> void Guarded(QWidget* Parent, Work&& Body) {
    try {
        Body();
    } catch (const znx::Error& Failure) {
        ShowErrorBox(ToQ(Failure.what()), Parent);
    } catch (const std::exception& Failure) {
        ShowErrorBox(ToQ(Failure.what()), Parent);
    }
}

SelectDirectoryFunction& CurrentSelectDirectory() {
    static SelectDirectoryFunction Function;
    return Function;
}

// The folder dialog: a typed folder that does not exist yet is created after
// a question.
class TSelectDirectoryDialog : public QFileDialog {
public:
    explicit TSelectDirectoryDialog(QWidget* Parent) : QFileDialog(Parent) {
        setObjectName(QStringLiteral("SelectDirectory"));
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, true);
        setOption(QFileDialog::DontUseNativeDialog, true);
        setAcceptMode(QFileDialog::AcceptOpen);
    }

    void accept() override {
        const QStringList Chosen = selectedFiles();
        if (Chosen.size() == 1) {
            const QString Path = QDir::cleanPath(QFileInfo(Chosen.first()).absoluteFilePath());
            const QFileInfo Info(Path);
            if (!Info.exists()) {
                const QString Question =
                    SysQ("Složka \"%1\" neexistuje. Chcete ji vytvořit?").arg(QDir::toNativeSeparators(Path));
                if (!ConfirmYesNo(Question, this))
                    return;
                if (!QDir().mkpath(Path)) {
                    ShowErrorBox(SysQ("Složku \"%1\" nelze vytvořit").arg(QDir::toNativeSeparators(Path)), this);
                    return;
                }
                setDirectory(QFileInfo(Path).absolutePath());
                selectFile(Path);
            }
        }
        QFileDialog::accept();
    }
};

} // namespace

QString StripControlChars(const QString& Text) {
    QString Result;
    Result.reserve(Text.size());
    for (const QChar Char : Text)
        if (Char.unicode() >= 32)
            Result.append(Char);
    return Result;
}

void SetSelectDirectoryFunction(SelectDirectoryFunction Function) {
    CurrentSelectDirectory() = std::move(Function);
}

bool SelectDirectoryStandard(QWidget* Parent, QString& Folder) {
    TSelectDirectoryDialog Dialog(Parent);
    if (Dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList Chosen = Dialog.selectedFiles();
    if (Chosen.isEmpty())
        return false;
    Folder = QDir::toNativeSeparators(QFileInfo(Chosen.first()).absoluteFilePath());
    return true;
}

QStringList KindKeywords() {
    QStringList Keywords;
    for (int Index = 0; Index < static_cast<int>(znx::TaskKinds().size()); ++Index)
        Keywords.append(QString::fromLatin1(znx::KindKeywordOfDialogIndex(Index)));
    return Keywords;
}

TFormEditPlan::TFormEditPlan(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormEditPlan"));
    setWindowTitle(SysQ("Plánovaná činnost"));
    setFont(DialogFont());
    setFixedSize(512, 440);

    Label1 = MakeLabel(this, "Label1", "Název plánované činnosti", 16, 8);
    EditNazev = new QLineEdit(this);
    EditNazev->setObjectName(QStringLiteral("EditNazev"));
    EditNazev->setGeometry(16, 24, 481, 21);
    EditNazev->setMaxLength(std::numeric_limits<int>::max());
    Label1->setBuddy(EditNazev);

    Label2 = MakeLabel(this, "Label2", "SQL příkaz", 16, 56);
    Button5 = MakeButton(this, "Button5", "Přednastavené příkazy", QRect(360, 54, 137, 17));

    MemoSQL = new TMemoSQL(this);
    MemoSQL->setObjectName(QStringLiteral("MemoSQL"));
    MemoSQL->setGeometry(16, 72, 481, 169);
    SetUpMemo(MemoSQL, this);

    Label5 = MakeLabel(this, "Label5", "Program,", 16, 252);
    ComboProgram = new QComboBox(this);
    ComboProgram->setObjectName(QStringLiteral("ComboProgram"));
    ComboProgram->setGeometry(72, 248, 425, 21);
    ComboProgram->setEditable(false);

    Label3 = MakeLabel(this, "Label3", "Databáze nebo složka s daty, pro které se příkaz provede", 16, 272);
    ListBoxCatalog = new QListWidget(this);
    ListBoxCatalog->setObjectName(QStringLiteral("ListBoxCatalog"));
    ListBoxCatalog->setGeometry(16, 288, 305, 113);
    ListBoxCatalog->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBoxCatalog->setSortingEnabled(false);

    GroupBoxCS = new QGroupBox(SysQ("Seznam databází"), this);
    GroupBoxCS->setObjectName(QStringLiteral("GroupBoxCS"));
    GroupBoxCS->setGeometry(328, 288, 177, 97);
    ComboCatalog = new QComboBox(GroupBoxCS);
    ComboCatalog->setObjectName(QStringLiteral("ComboCatalog"));
    ComboCatalog->setGeometry(16, 20, 145, 21);
    ComboCatalog->setEditable(true);
    ComboCatalog->setInsertPolicy(QComboBox::NoInsert);
    Button3 = MakeButton(GroupBoxCS, "Button3", "Přidat", QRect(16, 48, 65, 25));
    Button4 = MakeButton(GroupBoxCS, "Button4", "Ubrat", QRect(96, 48, 65, 25));

    GroupBoxPX = new QGroupBox(SysQ("Složka s daty"), this);
    GroupBoxPX->setObjectName(QStringLiteral("GroupBoxPX"));
    GroupBoxPX->setGeometry(328, 288, 177, 97);
    EditData = new QLineEdit(GroupBoxPX);
    EditData->setObjectName(QStringLiteral("EditData"));
    EditData->setGeometry(8, 20, 137, 21);
    SpeedButton1 = new QToolButton(GroupBoxPX);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("..."));
    SpeedButton1->setToolTip(SysQ("Výběr složky s daty"));
    SpeedButton1->setGeometry(144, 20, 23, 22);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    Button6 = MakeButton(GroupBoxPX, "Button6", "Přidat", QRect(16, 56, 65, 25));
    Button7 = MakeButton(GroupBoxPX, "Button7", "Ubrat", QRect(96, 56, 65, 25));

    Label4 = MakeLabel(this, "Label4", "Timeout", 16, 416);
    TimeoutEdit = new QLineEdit(this);
    TimeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    TimeoutEdit->setGeometry(72, 408, 81, 21);
    TimeoutEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TimeoutEdit->setValidator(new TIntegerValidator(TimeoutEdit));
    Label4->setBuddy(TimeoutEdit);

    Button1 = MakeButton(this, "Button1", "OK", QRect(336, 400, 75, 25));
    Button2 = MakeButton(this, "Button2", "Storno", QRect(424, 400, 75, 25));

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button3Click(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button4Click(); }); });
    connect(Button7, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button4Click(); }); });
    connect(Button5, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button5Click(); }); });
    connect(Button6, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button6Click(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded(this, [this] { SpeedButton1Click(); }); });

    // Tab order: as the controls stand on the form.
    setTabOrder(EditNazev, Button5);
    setTabOrder(Button5, MemoSQL);
    setTabOrder(MemoSQL, ComboProgram);
    setTabOrder(ComboProgram, ListBoxCatalog);
    setTabOrder(ListBoxCatalog, ComboCatalog);
    setTabOrder(ComboCatalog, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, EditData);
    setTabOrder(EditData, Button6);
    setTabOrder(Button6, Button7);
    setTabOrder(Button7, TimeoutEdit);
    setTabOrder(TimeoutEdit, Button1);
    setTabOrder(Button1, Button2);

    FormCreate();
    connect(ComboProgram, &QComboBox::currentIndexChanged, this, [this] { ApplyKindRule(); });
    ApplyKindRule();
    EditNazev->setFocus();
}

void TFormEditPlan::FormCreate() {
    ComboProgram->clear();
    // The choice texts of the kind table, in the order of their choices.
    for (int Index = 0; Index < static_cast<int>(znx::TaskKinds().size()); ++Index)
        for (const znx::TTaskKindInfo& Kind : znx::TaskKinds())
            if (Kind.DialogIndex == Index)
                ComboProgram->addItem(SysQ(Kind.DialogText));
    ComboProgram->setCurrentIndex(0);

    ComboCatalog->clear();
    const TMainData* Data = MainData();
    if (Data && Data->ServerInstalled && Data->Catalogs) {
        ComboCatalog->addItems(*Data->Catalogs);
        if (ComboCatalog->count() > 0)
            ComboCatalog->setCurrentIndex(0);
    }
    if (ComboCatalog->count() == 0)
        ComboCatalog->setEditText(QString());
}

void TFormEditPlan::ApplyKindRule() {
    const int Choice = ComboProgram->currentIndex();
    const bool Folders = Choice == 2 || Choice == 3;
    const bool Bulk = Choice == 4;
    GroupBoxPX->setVisible(Folders);
    GroupBoxCS->setVisible(!Folders && !Bulk);
    ListBoxCatalog->setVisible(!Bulk);
    Label3->setVisible(!Bulk);
}

void TFormEditPlan::showEvent(QShowEvent* Event) {
    ApplyKindRule();
    QDialog::showEvent(Event);
}

void TFormEditPlan::changeEvent(QEvent* Event) {
    if (Event->type() == QEvent::ActivationChange && isActiveWindow())
        ApplyKindRule();
    QDialog::changeEvent(Event);
}

QStringList TFormEditPlan::SqlLines() const {
    const QString Text = MemoSQL->text();
    if (Text.isEmpty())
        return {};
    static const QRegularExpression LineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList Lines = Text.split(LineBreak);
    // A final line break ends the last line; it does not start another.
    if (Lines.size() > 1 && Lines.last().isEmpty())
        Lines.removeLast();
    return Lines;
}

void TFormEditPlan::SetSqlLines(const QStringList& Lines) {
    QString Text;
    const QString Eol = MemoSQL->eolMode() == QsciScintilla::EolWindows ? QStringLiteral("\r\n")
                                                                          : QStringLiteral("\n");
    for (const QString& Line : Lines)
        Text += Line + Eol;
    MemoSQL->setText(Text);
}

int TFormEditPlan::TimeoutValue() const {
    bool Valid = false;
    const int Value = TimeoutEdit->text().trimmed().toInt(&Valid);
    return Valid ? Value : 0;
}

QStringList TFormEditPlan::Targets() const {
    QStringList Entries;
    for (int Row = 0; Row < ListBoxCatalog->count(); ++Row)
        Entries.append(ListBoxCatalog->item(Row)->text());
    return Entries;
}

void TFormEditPlan::done(int Result) {
    if (!FormCloseQuery(Result))
        return;
    QDialog::done(Result);
}

bool TFormEditPlan::FormCloseQuery(int Result) {
    if (Result != QDialog::Accepted)
        return true;
    // The command text as the file would carry it: every line followed by CR LF.
    QString Text;
    for (const QString& Line : SqlLines())
        Text += Line + QStringLiteral("\r\n");
    if (!EditNazev->text().isEmpty() && !StripControlChars(Text).isEmpty())
        return true;
    ShowPlainMessage(SysQ("Nemáte vyplněny všechny údaje"), this);
    return false;
}

void TFormEditPlan::Button3Click() {
    // The database of the box's list that is chosen; typed text that names no
    // entry of the list is not used, and nothing chosen adds nothing.
    int Index = ComboCatalog->currentIndex();
    const QString Typed = ComboCatalog->currentText();
    if (Index < 0 || ComboCatalog->itemText(Index) != Typed)
        Index = ComboCatalog->findText(Typed, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (Index < 0)
        return;
    const QString Name = ComboCatalog->itemText(Index);
    if (Name.isEmpty())
        return;
    ListBoxCatalog->addItem(Name);
}

void TFormEditPlan::Button4Click() {
    if (!ConfirmYesNo(SysQ("Opravdu chcete smazat definici?"), this))
        return;
    const QList<QListWidgetItem*> Selected = ListBoxCatalog->selectedItems();
    if (Selected.isEmpty())
        return;
    delete ListBoxCatalog->takeItem(ListBoxCatalog->row(Selected.first()));
}

void TFormEditPlan::Button5Click() {
    QStringList Lines;
    if (SelectPredefinedSQL(Lines))
        SetSqlLines(Lines);
}

void TFormEditPlan::Button6Click() {
    const QString Path = EditData->text();
    if (Path.isEmpty())
        return; // an empty entry would leave a gap in the stored list
    ListBoxCatalog->addItem(Path);
}

void TFormEditPlan::SpeedButton1Click() {
    QString Folder;
    const SelectDirectoryFunction& Custom = CurrentSelectDirectory();
    const bool Chosen = Custom ? Custom(this, Folder) : SelectDirectoryStandard(this, Folder);
    if (Chosen)
        EditData->setText(Folder);
}

bool ExecuteEditPlan(QString& TaskName, QString& TypeKeyword, QStringList& SqlLines, int& Timeout,
                     QStringList& Targets) {
    TFormEditPlan Form;
    Form.EditNazev->setText(TaskName);
    Form.SetSqlLines(SqlLines);
    Form.ListBoxCatalog->addItems(Targets);
    Form.TimeoutEdit->setText(QString::number(Timeout));
    // The keyword is compared exactly, letter case included; any other text
    // leaves the first choice.
    Form.ComboProgram->setCurrentIndex(znx::KindDialogIndex(TypeKeyword.toStdString()));
    Form.EditNazev->setFocus();

    if (Form.exec() != QDialog::Accepted)
        return false;

    TaskName = Form.EditNazev->text();
    Timeout = Form.TimeoutValue();
    SqlLines = Form.SqlLines();
    Targets = Form.Targets();
    TypeKeyword = QString::fromStdString(znx::KindKeywordOfDialogIndex(Form.ComboProgram->currentIndex()));
    return true;
}

} // namespace znx::editor
