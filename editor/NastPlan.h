#pragma once
// The editor's main window: the list of all tasks of the task definition
// file and the commands that create, edit and delete them.

#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "storage/PLVIni.h"

class QAction;
class QTreeWidget;
class QToolBar;
class QMenuBar;
class QMessageBox;

namespace znx::editor {

class TFormNastPlan : public QMainWindow {
    Q_OBJECT

public:
    // Opens the task definition file: FileName, or when empty the editor's
    // own file beside its executable (TaskFilePath).
    explicit TFormNastPlan(const QString& FileName = QString(), QWidget* Parent = nullptr);
    ~TFormNastPlan() override;

    // vykonar.ini beside the executable: the runner's default file, so both
    // programs installed in one folder share it.
    static QString TaskFilePath();
    // Planora.html beside the executable.
    static QString HelpFilePath();

    // A new task ID: the system's GUID in upper case, without braces.
    // Raises "Chyba při vytváření GUID" when the generator fails.
    static QString NewTaskId();
    // Replaces the GUID generator (its standard text, braces included; an
    // empty text is a failure); an empty function restores the system's.
    static void SetGuidGenerator(std::function<QString()> Generator);

    // The task dialog New and Edit call: ExecuteEditPlan, unless replaced
    // (an empty function restores it).
    using TEditPlanFunction =
        std::function<bool(QString& TaskName, QString& TypeKeyword, QStringList& SqlLines, int& Timeout,
                           QStringList& Targets)>;
    static void SetEditPlanFunction(TEditPlanFunction Function);

    void LoadTaskList();

    // The actions' handlers.
    void acNovyClick();
    void acOpravClick();
    void acOdstranClick();
    void actKonecExecute();
    void actPripojeniExecute();
    void actAboutExecute();
    void actHelpExecute();

    TPLVIniFile* IniFile() const { return FIniFile.get(); }
    const TStrings& Sections() const { return FSections; }
    int LastIndex() const { return FLastIndex; }
    // The index of the selected row, -1 when none.
    int SelectedIndex() const;

    QToolBar* ToolBar1 = nullptr;
    QTreeWidget* ListView = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QObject* ActionList1 = nullptr;
    QList<QPixmap> mainImageList;
    QAction* actNovy = nullptr;
    QAction* actOprav = nullptr;
    QAction* actOdstran = nullptr;
    QAction* actKonec = nullptr;
    QAction* actPripojeni = nullptr;
    QAction* actAbout = nullptr;
    QAction* actHelp = nullptr;

protected:
    // FormCloseQuery: the file is written here, once, as the window goes.
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate(const QString& FileName);
    void CreateActions();
    void SelectRow(int Index);
    // Saves the file before the window closes; false keeps the window open.
    bool SaveBeforeClose();

    std::unique_ptr<TPLVIniFile> FIniFile;
    TStrings FSections;
    int FLastIndex = -1;
    bool FShownOnce = false;
    bool FDiscardChanges = false;
};

} // namespace znx::editor
