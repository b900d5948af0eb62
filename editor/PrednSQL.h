#pragma once
// The predefined commands.

#include <QStringList>

namespace znx::editor {

// Shows the list of predefined commands; true when the user chose one, and
// then its lines have been appended to Lines. False leaves Lines untouched.
bool SelectPredefinedSQL(QStringList& Lines);

} // namespace znx::editor

#include <QDialog>

class QListWidget;
class QPushButton;
class QKeyEvent;

namespace znx::editor {

// The dialog that lists the predefined commands. Enter and a double click
// confirm the selected entry; Esc is not bound; the close box cancels.
class TFormPrednSQL : public QDialog {
    Q_OBJECT

public:
    explicit TFormPrednSQL(QWidget* Parent = nullptr);

    QListWidget* ListBox = nullptr;
    QPushButton* Button1 = nullptr; // "OK"
    QPushButton* Button2 = nullptr; // "Storno"

    // The lines of the selected entry, in order (none when nothing is selected).
    QStringList SelectedLines() const;

    void done(int Result) override;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void ListBoxDblClick();
};

// The number of predefined commands, and the lines of one of them.
int PredefinedSQLCount();
QStringList PredefinedSQLLines(int Index);

} // namespace znx::editor
