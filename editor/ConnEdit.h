#pragma once
// The connection-string dialog: the connection either from a data link file
// (picked from the data-link folder or browsed for) or typed as a connection
// string, which a builder can compose from server, authentication, user,
// password and database, with a test of the connection.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace znx::editor {

// The data-link folder: ${XDG_DATA_HOME:-~/.local/share}/znx/datalinks.
QString DataLinkFolder();

// Shows the dialog with the string and returns the result: on OK the typed
// text, or for a data link file "FILE NAME=" and its full path (empty when
// no file is named); on Cancel or close the input unchanged.
QString EditConnectionString(const QString& Current, QWidget* Parent = nullptr);

// Connection strings of the keyword=value form: split into pairs (values may
// be quoted with ' or ", the quote doubled inside) and composed back.
std::vector<std::pair<QString, QString>> SplitConnectionString(const QString& Text);
QString QuoteConnectionValue(const QString& Value);

class TConnEditForm : public QDialog {
    Q_OBJECT

public:
    explicit TConnEditForm(QWidget* Parent = nullptr);

    void SetConnectionString(const QString& Text);
    // The result for OK (see EditConnectionString).
    QString ConnectionString() const;

    QRadioButton* rbDataLink = nullptr;
    QComboBox* cbDataLink = nullptr;
    QPushButton* btnBrowse = nullptr;
    QRadioButton* rbConnString = nullptr;
    QLineEdit* edConnString = nullptr;
    QPushButton* btnBuild = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void UpdateEnabled();
    void BrowseClick();
    void BuildClick();
};

// The builder: composes a connection string for the SQL Server provider.
class TConnBuildForm : public QDialog {
    Q_OBJECT

public:
    explicit TConnBuildForm(QWidget* Parent = nullptr);

    // Fills the fields from a connection string of the keyword=value form.
    void SetConnectionString(const QString& Text);
    QString ConnectionString() const;

    QLineEdit* edServer = nullptr;
    QComboBox* cbAuthentication = nullptr; // 0: SQL Server login, 1: integrated
    QLineEdit* edUser = nullptr;
    QLineEdit* edPassword = nullptr;
    QComboBox* cbDatabase = nullptr;
    QPushButton* btnTest = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // The last test's answer as shown to the user.
    QString LastTestAnswer;

private:
    void UpdateEnabled();
    void TestClick();
    // Keywords of the string the builder does not show, kept as they were.
    std::vector<std::pair<QString, QString>> FOther;
};

} // namespace znx::editor
