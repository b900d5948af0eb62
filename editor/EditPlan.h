#pragma once
// The task editor dialog.

#include <QString>
#include <QStringList>

namespace znx::editor {

// Shows the dialog for one task; true when it was closed with OK, and then
// the five values hold the user's input. On false none of them is changed.
bool ExecuteEditPlan(QString& TaskName, QString& TypeKeyword, QStringList& SqlLines, int& Timeout,
                     QStringList& Targets);

} // namespace znx::editor

#include <QDialog>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QsciScintilla;

namespace znx::editor {

// The characters of the text whose codes are 32 or higher, in order.
QString StripControlChars(const QString& Text);

// The folder dialog of "...": true when the user confirmed a folder, and then
// Folder holds its full path. The standard one is the platform's folder dialog
// in which a folder that does not exist yet can be typed, and is created after
// a question; tests install their own (an empty function restores the standard).
using SelectDirectoryFunction = std::function<bool(QWidget* Parent, QString& Folder)>;
void SetSelectDirectoryFunction(SelectDirectoryFunction Function);
bool SelectDirectoryStandard(QWidget* Parent, QString& Folder);

// The task editor dialog. Its controls carry their names as object names.
class TFormEditPlan : public QDialog {
    Q_OBJECT

public:
    explicit TFormEditPlan(QWidget* Parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* EditNazev = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button5 = nullptr;
    QsciScintilla* MemoSQL = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* ComboProgram = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* ListBoxCatalog = nullptr;
    QGroupBox* GroupBoxCS = nullptr;
    QComboBox* ComboCatalog = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QGroupBox* GroupBoxPX = nullptr;
    QLineEdit* EditData = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* TimeoutEdit = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // The command text as lines (a final line break ends the last line and
    // opens no new one), and filling it from lines.
    QStringList SqlLines() const;
    void SetSqlLines(const QStringList& Lines);
    // The number in TimeoutEdit; 0 when empty or no valid integer.
    int TimeoutValue() const;
    QStringList Targets() const;

    // The kind rule: which of the list and the two picking boxes are shown.
    void ApplyKindRule();

    void done(int Result) override;

protected:
    void showEvent(QShowEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    void FormCreate();
    bool FormCloseQuery(int Result);
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void SpeedButton1Click();
};

// The five keywords in the order of the choices of ComboProgram.
QStringList KindKeywords();

} // namespace znx::editor
