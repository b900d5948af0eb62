#pragma once
// The about box: the program's name, the version line read from the running
// executable and the link to the maker's web page.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace znx::editor {

class TURLLabel;

class TFormAbout : public QDialog {
    Q_OBJECT

public:
    explicit TFormAbout(QWidget* Parent = nullptr);

    // "Verze %d.%d.%d.%d" for the numbers the executable carries.
    static QString VersionLine(const std::string& ExecutableFile);

    QFrame* Bevel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* labelBuild = nullptr;
    TURLLabel* URLLabel2 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr;

private:
    void FormCreate();
};

// The maker's web address, written without a scheme.
QString MakerWebAddress();

} // namespace znx::editor
