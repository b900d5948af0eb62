#include "editor/NastPlan.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QUuid>
#include <exception>

#include "editor/Dialogs.h"
#include "editor/EditPlan.h"
#include "editor/Resources.h"
#include "editor/Shell.h"
#include "editor/about.h"
#include "editor/data.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/text.h"
#include "storage/TaskFile.h"

namespace znx::editor {
namespace {

QString Cz(const char* utf8) { return QString::fromUtf8(utf8); }

std::function<QString()>& GuidGenerator() {
    static std::function<QString()> generator;
    return generator;
}

TFormNastPlan::TEditPlanFunction& EditPlanFunction() {
    static TFormNastPlan::TEditPlanFunction function;
    return function;
}

bool RunEditPlan(QString& name, QString& keyword, QStringList& sql, int& timeout, QStringList& targets) {
    if (EditPlanFunction()) return EditPlanFunction()(name, keyword, sql, timeout, targets);
    return ExecuteEditPlan(name, keyword, sql, timeout, targets);
}

TStrings ToStrings(const QStringList& list) {
    TStrings out;
    out.reserve(static_cast<size_t>(list.size()));
    for (const QString& s : list) out.push_back(FromQ(s));
    return out;
}

QStringList ToQStringList(const TStrings& list) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(list.size()));
    for (const std::string& s : list) out << ToQ(s);
    return out;
}

QString ExecutableFolder() { return ToQ(ExtractFileDir(ExecutablePath())); }

} // namespace

// ------------------------------------------------------------ files and IDs

QString TFormNastPlan::TaskFilePath() {
#ifdef _WIN32
    return ExecutableFolder() + QStringLiteral("\\VYKONAR.INI");
#else
    return ExecutableFolder() + QStringLiteral("/vykonar.ini");
#endif
}

QString TFormNastPlan::HelpFilePath() {
    return ExecutableFolder() + QChar(PathDelim()) + QStringLiteral("Planora.html");
}

void TFormNastPlan::SetEditPlanFunction(TEditPlanFunction Function) {
    EditPlanFunction() = std::move(Function);
}

void TFormNastPlan::SetGuidGenerator(std::function<QString()> Generator) {
    GuidGenerator() = std::move(Generator);
}

QString TFormNastPlan::NewTaskId() {
    QString text;
    if (GuidGenerator()) {
        text = GuidGenerator()();
    } else {
        QUuid guid = QUuid::createUuid();
        if (!guid.isNull()) text = guid.toString(QUuid::WithBraces);
    }
    if (text.isEmpty()) throw Error(SysText("Chyba při vytváření GUID"));
    text = text.toUpper();
    text.remove('{');
    text.remove('}');
    return text;
}

// ------------------------------------------------------------ the window

TFormNastPlan::TFormNastPlan(const QString& FileName, QWidget* Parent) : QMainWindow(Parent) {
    InitEditorResources();
    setObjectName("FormNastPlan");
    setWindowTitle(Cz("Manažer plánovaných činností"));
    setWindowIcon(ProgramIcon());
    setFont(FormFont());
    setContextMenuPolicy(Qt::NoContextMenu); // no menu for hiding the tool bar
    resize(637, 429);

    ListView = new QTreeWidget(this);
    ListView->setObjectName("ListView");
    ListView->setColumnCount(3);
    ListView->setHeaderLabels({Cz("Název činnosti"), Cz("Program"), Cz("SQL příkaz")});
    ListView->setColumnWidth(0, 200);
    ListView->setColumnWidth(1, 110);
    ListView->setColumnWidth(2, 350);
    ListView->header()->setStretchLastSection(false);
    ListView->header()->setSectionsMovable(false);
    ListView->setRootIsDecorated(false);
    ListView->setItemsExpandable(false);
    ListView->setUniformRowHeights(true);
    ListView->setSortingEnabled(false);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setAllColumnsShowFocus(true);
    // The selection stays visible when the list loses the focus.
    QPalette palette = ListView->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    ListView->setPalette(palette);
    ListView->viewport()->installEventFilter(this);
    setCentralWidget(ListView);

    CreateActions();
    FormCreate(FileName);
}

TFormNastPlan::~TFormNastPlan() {
    if (FDiscardChanges) {
        // The user chose to end without saving: the content is dropped
        // unwritten (TPLVIniFile saves whatever is still modified when the
        // last handle goes, and has no way to forget changes).
        (void)FIniFile.release();
        return;
    }
    if (FIniFile) {
        try {
            FIniFile->Release();
        } catch (const std::exception& e) {
            ShowErrorBox(ToQ(e.what()));
        }
    }
}

void TFormNastPlan::CreateActions() {
    ActionList1 = new QObject(this);
    ActionList1->setObjectName("ActionList1");

    mainImageList = {DeleteImage(), NewImage(), OpenImage()};

    auto make = [this](const char* name, const char* caption, const char* hint, QKeySequence key,
                       const QPixmap* image, void (TFormNastPlan::*handler)()) {
        auto* action = new QAction(Cz(caption), ActionList1);
        action->setObjectName(QString::fromLatin1(name));
        if (hint) {
            action->setToolTip(Cz(hint));
            action->setStatusTip(Cz(hint));
        }
        if (!key.isEmpty()) action->setShortcut(key);
        if (image) action->setIcon(QIcon(*image));
        action->setIconVisibleInMenu(false); // the menu shows no icons
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    actNovy = make("actNovy", "&Nová činnost", "Nová činnost", QKeySequence(Qt::Key_F2), &mainImageList[1],
                   &TFormNastPlan::acNovyClick);
    actOprav = make("actOprav", "&Opravit činnost", "Opravit činnost", QKeySequence(Qt::Key_F4),
                    &mainImageList[2], &TFormNastPlan::acOpravClick);
    actOdstran = make("actOdstran", "O&dstranit činnost", "Odstranit činnost", QKeySequence(Qt::Key_F3),
                      &mainImageList[0], &TFormNastPlan::acOdstranClick);
    actKonec = make("actKonec", "&Konec", nullptr, QKeySequence(Qt::CTRL | Qt::Key_K), nullptr,
                    &TFormNastPlan::actKonecExecute);
    actPripojeni = make("actPripojeni", "Nastavit &připojení k datům", "Nastavit připojení k datům",
                        QKeySequence(), nullptr, &TFormNastPlan::actPripojeniExecute);
    actAbout = make("actAbout", "&O programu", nullptr, QKeySequence(), nullptr, &TFormNastPlan::actAboutExecute);
    actHelp = make("actHelp", "Nápo&věda", nullptr, QKeySequence(), nullptr, &TFormNastPlan::actHelpExecute);

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    QMenu* tasks = MainMenu1->addMenu(Cz("Či&nnosti"));
    tasks->setObjectName("Cinnosti1");
    tasks->addAction(actNovy);
    tasks->addAction(actOprav);
    tasks->addAction(actOdstran);
    tasks->addSeparator();
    tasks->addAction(actKonec);
    QMenu* settings = MainMenu1->addMenu(Cz("&Nastavení"));
    settings->setObjectName("Nastaveni1");
    settings->addAction(actPripojeni);
    QMenu* help = MainMenu1->addMenu(Cz("Nápo&věda"));
    help->setObjectName("Napoveda1");
    help->addAction(actHelp);
    help->addAction(actAbout);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto* gap = new QWidget(ToolBar1);
    gap->setObjectName("ToolButton1");
    gap->setFixedWidth(8);
    ToolBar1->addWidget(gap);
    ToolBar1->addAction(actNovy);
    ToolBar1->addAction(actOprav);
    ToolBar1->addAction(actOdstran);
}

void TFormNastPlan::FormCreate(const QString& FileName) {
    const QString file = FileName.isEmpty() ? TaskFilePath() : FileName;
    FIniFile = std::make_unique<TPLVIniFile>(FromQ(file));
    LoadTaskList();
    if (ListView->topLevelItemCount() > 0) SelectRow(0);
}

void TFormNastPlan::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (FShownOnce) return;
    FShownOnce = true;
    // 637 × 429 with the frame, centred on the screen.
    QSize frame = frameGeometry().size() - geometry().size();
    resize(QSize(637, 429) - frame);
    if (QScreen* s = screen()) {
        QRect area = s->availableGeometry();
        move(area.center() - QPoint(637 / 2, 429 / 2));
    }
}

bool TFormNastPlan::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ListView->viewport() && Event->type() == QEvent::MouseButtonDblClick) {
        acOpravClick();
        return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

// ------------------------------------------------------------ the list

void TFormNastPlan::LoadTaskList() {
    ListView->clear();
    FSections.clear();
    FIniFile->ReadSections(FSections);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(FSections.size()));
    for (const std::string& section : FSections) {
        QString name = ToQ(FIniFile->ReadString(section, TaskKeys::Name, ""));
        QString kind = ToQ(KindDisplayName(FIniFile->ReadString(section, TaskKeys::Type, "")));
        std::string command = FIniFile->ReadString(section, TaskKeys::Sql, "");
        if (command.empty()) {
            TStrings lines = ReadKeyList(*FIniFile, section, TaskKeys::Sql);
            if (!lines.empty()) command = lines.front();
        }
        rows << new QTreeWidgetItem(QStringList{name, kind, ToQ(command)});
    }
    ListView->addTopLevelItems(rows);
}

int TFormNastPlan::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = ListView->selectedItems();
    if (selected.isEmpty()) return -1;
    return ListView->indexOfTopLevelItem(selected.first());
}

void TFormNastPlan::SelectRow(int Index) {
    if (Index >= 0 && Index < ListView->topLevelItemCount()) {
        QTreeWidgetItem* item = ListView->topLevelItem(Index);
        ListView->setCurrentItem(item);
        ListView->scrollToItem(item);
    } else {
        ListView->clearSelection();
        ListView->setCurrentItem(nullptr);
    }
}

// ------------------------------------------------------------ commands

void TFormNastPlan::acOpravClick() {
    int index = SelectedIndex();
    if (index < 0) return;
    QString failure;
    bool failed = false;
    try {
        FLastIndex = index;
        const std::string section = FSections.at(static_cast<size_t>(index));
        QString name = ListView->topLevelItem(index)->text(0);
        QString keyword = ToQ(UpperCaseAZ(FIniFile->ReadString(section, TaskKeys::Type, "KORAL")));
        int timeout = FIniFile->ReadInteger(section, TaskKeys::Timeout, DefaultEditorTimeout);
        QStringList sql = ToQStringList(ReadKeyList(*FIniFile, section, TaskKeys::Sql));
        QStringList targets = ToQStringList(ReadKeyList(*FIniFile, section, TaskKeys::Catalog));
        if (RunEditPlan(name, keyword, sql, timeout, targets)) {
            SaveTask(*FIniFile, section, FromQ(name), FromQ(keyword), timeout, ToStrings(sql), ToStrings(targets));
            LoadTaskList();
        }
    } catch (const std::exception& e) {
        failed = true;
        failure = ToQ(e.what());
    }
    SelectRow(FLastIndex);
    ListView->setFocus();
    if (failed) ShowErrorBox(failure, this);
}

void TFormNastPlan::acNovyClick() {
    QString section;
    try {
        section = NewTaskId();
    } catch (const std::exception& e) {
        ShowErrorBox(ToQ(e.what()), this);
        return;
    }
    QString failure;
    bool failed = false;
    try {
        QString name;
        QString keyword = QStringLiteral("KORAL");
        int timeout = DefaultEditorTimeout;
        QStringList sql, targets;
        if (RunEditPlan(name, keyword, sql, timeout, targets)) {
            SaveTask(*FIniFile, FromQ(section), FromQ(name), FromQ(keyword), timeout, ToStrings(sql),
                     ToStrings(targets));
            LoadTaskList();
        }
    } catch (const std::exception& e) {
        failed = true;
        failure = ToQ(e.what());
    }
    SelectRow(ListView->topLevelItemCount() - 1);
    ListView->setFocus();
    if (failed) ShowErrorBox(failure, this);
}

void TFormNastPlan::acOdstranClick() {
    int index = SelectedIndex();
    if (index < 0) return;
    FLastIndex = index;
    if (!ConfirmYesNo(Cz("Opravdu chcete smazat definici?"), this)) return;
    QString failure;
    bool failed = false;
    try {
        FIniFile->EraseSection(FSections.at(static_cast<size_t>(index)));
        LoadTaskList();
    } catch (const std::exception& e) {
        failed = true;
        failure = ToQ(e.what());
    }
    int count = ListView->topLevelItemCount();
    int row = -1;
    if (count >= 2) row = FLastIndex < count ? FLastIndex : count - 1;
    else if (count == 1) row = 0;
    SelectRow(row);
    if (row >= 0) ListView->setFocus();
    if (failed) ShowErrorBox(failure, this);
}

void TFormNastPlan::actKonecExecute() { close(); }

void TFormNastPlan::actPripojeniExecute() {
    TMainData* module = MainData();
    if (!module) return;
    try {
        module->PrepareConnection(true);
        module->LoadCatalogs(module->Catalogs.get());
    } catch (const std::exception& e) {
        ShowErrorBox(ToQ(e.what()), this);
    }
}

void TFormNastPlan::actAboutExecute() {
    try {
        TFormAbout about;
        about.exec();
    } catch (const std::exception& e) {
        ShowErrorBox(ToQ(e.what()), this);
    }
}

void TFormNastPlan::actHelpExecute() {
    try {
        const QString file = HelpFilePath();
        if (!QFileInfo(file).isFile())
            throw Error(FromQ(Cz("Soubor nápovědy \"%1\" nebyl nalezen").arg(file)));
        QUrl url = QUrl::fromLocalFile(file);
        url.setFragment(QStringLiteral("kontext1")); // the topic of context number 1
        if (!ShellOpen(url))
            throw Error(FromQ(Cz("Nápovědu \"%1\" se nepodařilo otevřít v prohlížeči").arg(file)));
    } catch (const std::exception& e) {
        ShowErrorBox(ToQ(e.what()), this);
    }
}

// ------------------------------------------------------------ the end

bool TFormNastPlan::SaveBeforeClose() {
    TUniqueIniFile* shared = FIniFile ? FIniFile->Shared() : nullptr;
    if (!shared || !shared->Modified()) return true;
    const QString file = ToQ(shared->FileName());
    if (shared->ReadOnly()) {
        return ConfirmYesNo(Cz("Soubor činností \"%1\" je jen pro čtení, změny provedené od spuštění "
                               "programu do něj nebudou uloženy.\n\nUkončit program bez uložení změn?")
                                .arg(file),
                            this);
    }
    for (;;) {
        QString failure;
        try {
            FIniFile->UpdateFile();
            return true;
        } catch (const std::exception& e) {
            failure = ToQ(e.what());
        }
        if (!failure.endsWith('.')) failure += '.';
        QMessageBox box(QMessageBox::Critical, ApplicationTitle(),
                        failure + Cz("\n\nZměny činností nebyly uloženy do souboru \"%1\".").arg(file),
                        QMessageBox::NoButton, this);
        box.setObjectName("SaveFailureBox");
        QPushButton* retry = box.addButton(Cz("&Zkusit znovu"), QMessageBox::AcceptRole);
        retry->setObjectName("btnRetry");
        QPushButton* back = box.addButton(Cz("Zpět do &programu"), QMessageBox::RejectRole);
        back->setObjectName("btnBack");
        QPushButton* discard = box.addButton(Cz("&Ukončit bez uložení"), QMessageBox::DestructiveRole);
        discard->setObjectName("btnDiscard");
        box.setDefaultButton(retry);
        box.setEscapeButton(back);
        box.exec();
        if (box.clickedButton() == retry) continue;
        if (box.clickedButton() == discard) {
            FDiscardChanges = true;
            return true;
        }
        return false;
    }
}

void TFormNastPlan::closeEvent(QCloseEvent* Event) {
    if (SaveBeforeClose()) Event->accept();
    else Event->ignore();
}

} // namespace znx::editor
