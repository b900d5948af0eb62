#include "editor/ConnEdit.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <exception>

#include "editor/Dialogs.h"
#include "editor/Resources.h"
#include "platform/dataaccess.h"

namespace znx::editor {
namespace {

const QString FileNamePrefix = QStringLiteral("FILE NAME=");

QString Cz(const char* utf8) { return QString::fromUtf8(utf8); }

bool IsKey(const QString& key, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (key.compare(QLatin1String(n), Qt::CaseInsensitive) == 0) return true;
    return false;
}

// The dialog's "OK" (the default button) and "Storno", named for the tests.
void AddOkCancel(QDialog* dialog, QDialogButtonBox* buttons, QPushButton*& ok, QPushButton*& cancel) {
    ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    cancel = buttons->addButton(Cz("Storno"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("btnCancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
}

} // namespace

QString DataLinkFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/znx/datalinks");
}

std::vector<std::pair<QString, QString>> SplitConnectionString(const QString& Text) {
    std::vector<std::pair<QString, QString>> pairs;
    qsizetype i = 0, n = Text.size();
    while (i < n) {
        qsizetype eq = Text.indexOf('=', i);
        qsizetype semi = Text.indexOf(';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) { // a part without "=": skipped
            if (semi < 0) break;
            i = semi + 1;
            continue;
        }
        QString key = Text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && Text[i] == ' ') ++i;
        QString value;
        if (i < n && (Text[i] == '"' || Text[i] == '\'')) {
            QChar quote = Text[i++];
            while (i < n) {
                if (Text[i] == quote) {
                    if (i + 1 < n && Text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += Text[i++];
            }
            qsizetype next = Text.indexOf(';', i);
            i = next < 0 ? n : next + 1;
        } else {
            qsizetype next = Text.indexOf(';', i);
            if (next < 0) next = n;
            value = Text.mid(i, next - i).trimmed();
            i = next + 1;
        }
        if (!key.isEmpty()) pairs.emplace_back(key, value);
    }
    return pairs;
}

QString QuoteConnectionValue(const QString& Value) {
    bool needs = Value.contains(';') || Value.startsWith(' ') || Value.endsWith(' ') ||
                 Value.startsWith('"') || Value.startsWith('\'');
    if (!needs) return Value;
    QString doubled = Value;
    doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return '"' + doubled + '"';
}

QString EditConnectionString(const QString& Current, QWidget* Parent) {
    TConnEditForm form(Parent);
    form.SetConnectionString(Current);
    if (form.exec() == QDialog::Accepted) return form.ConnectionString();
    return Current;
}

// ------------------------------------------------------------ TConnEditForm

TConnEditForm::TConnEditForm(QWidget* Parent) : QDialog(Parent) {
    setObjectName("ConnEditForm");
    setWindowTitle(Cz("Připojovací řetězec"));
    setFont(FormFont());

    auto* group = new QGroupBox(Cz("Zdroj připojení"), this);
    group->setObjectName("SourceOfConnection");
    rbDataLink = new QRadioButton(Cz("Použít soubor s &datovým propojením:"), group);
    rbDataLink->setObjectName("rbDataLink");
    cbDataLink = new QComboBox(group);
    cbDataLink->setObjectName("cbDataLink");
    cbDataLink->setEditable(true);
    cbDataLink->setInsertPolicy(QComboBox::NoInsert);
    cbDataLink->setMinimumWidth(300);
    btnBrowse = new QPushButton(Cz("P&rocházet..."), group);
    btnBrowse->setObjectName("btnBrowse");
    rbConnString = new QRadioButton(Cz("Použít &připojovací řetězec:"), group);
    rbConnString->setObjectName("rbConnString");
    edConnString = new QLineEdit(group);
    edConnString->setObjectName("edConnString");
    btnBuild = new QPushButton(Cz("&Sestavit..."), group);
    btnBuild->setObjectName("btnBuild");

    auto* grid = new QGridLayout(group);
    grid->addWidget(rbDataLink, 0, 0, 1, 2);
    grid->addWidget(cbDataLink, 1, 0);
    grid->addWidget(btnBrowse, 1, 1);
    grid->addWidget(rbConnString, 2, 0, 1, 2);
    grid->addWidget(edConnString, 3, 0);
    grid->addWidget(btnBuild, 3, 1);
    grid->setColumnStretch(0, 1);

    auto* buttons = new QDialogButtonBox(this);
    AddOkCancel(this, buttons, btnOK, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);

    // The data link files of the folder, by name.
    QDir folder(DataLinkFolder());
    const QStringList files = folder.entryList({QStringLiteral("*.udl"), QStringLiteral("*.UDL")},
                                               QDir::Files | QDir::Readable, QDir::Name);
    cbDataLink->addItems(files);
    cbDataLink->setCurrentIndex(-1);
    cbDataLink->setEditText(QString());

    connect(rbDataLink, &QRadioButton::toggled, this, &TConnEditForm::UpdateEnabled);
    connect(rbConnString, &QRadioButton::toggled, this, &TConnEditForm::UpdateEnabled);
    connect(btnBrowse, &QPushButton::clicked, this, &TConnEditForm::BrowseClick);
    connect(btnBuild, &QPushButton::clicked, this, &TConnEditForm::BuildClick);
    rbConnString->setChecked(true);
    UpdateEnabled();
}

void TConnEditForm::UpdateEnabled() {
    bool link = rbDataLink->isChecked();
    cbDataLink->setEnabled(link);
    btnBrowse->setEnabled(link);
    edConnString->setEnabled(!link);
    btnBuild->setEnabled(!link);
}

void TConnEditForm::SetConnectionString(const QString& Text) {
    if (Text.startsWith(FileNamePrefix, Qt::CaseInsensitive)) {
        QString file = Text.mid(FileNamePrefix.size());
        QFileInfo info(file);
        // A file of the data-link folder is shown by its name alone.
        if (info.isAbsolute() && QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(DataLinkFolder()))
            file = info.fileName();
        cbDataLink->setEditText(file);
        rbDataLink->setChecked(true);
    } else {
        edConnString->setText(Text);
        rbConnString->setChecked(true);
    }
    UpdateEnabled();
}

QString TConnEditForm::ConnectionString() const {
    if (!rbDataLink->isChecked()) return edConnString->text();
    QString file = cbDataLink->currentText().trimmed();
    if (file.isEmpty()) return QString();
    if (!file.contains('/')) file = DataLinkFolder() + '/' + file;
    else file = QFileInfo(file).absoluteFilePath();
    return FileNamePrefix + file;
}

void TConnEditForm::BrowseClick() {
    QString start = cbDataLink->currentText().trimmed();
    if (start.isEmpty() || !start.contains('/')) start = DataLinkFolder() + '/' + start;
    QString file = QFileDialog::getOpenFileName(
        this, Cz("Vyberte soubor s datovým propojením"), start,
        Cz("Datová propojení (*.udl);;Všechny soubory (*)"));
    if (!file.isEmpty()) SetConnectionString(FileNamePrefix + file);
}

void TConnEditForm::BuildClick() {
    TConnBuildForm builder(this);
    builder.SetConnectionString(edConnString->text());
    if (builder.exec() == QDialog::Accepted) edConnString->setText(builder.ConnectionString());
}

// ------------------------------------------------------------ TConnBuildForm

TConnBuildForm::TConnBuildForm(QWidget* Parent) : QDialog(Parent) {
    setObjectName("ConnBuildForm");
    setWindowTitle(Cz("Sestavení připojovacího řetězce"));
    setFont(FormFont());

    edServer = new QLineEdit(this);
    edServer->setObjectName("edServer");
    edServer->setPlaceholderText(Cz("server, server\\instance nebo server,port"));
    cbAuthentication = new QComboBox(this);
    cbAuthentication->setObjectName("cbAuthentication");
    cbAuthentication->addItem(Cz("Přihlášení SQL Serveru (jméno a heslo)"));
    cbAuthentication->addItem(Cz("Integrované přihlášení systému"));
    edUser = new QLineEdit(this);
    edUser->setObjectName("edUser");
    edPassword = new QLineEdit(this);
    edPassword->setObjectName("edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    cbDatabase = new QComboBox(this);
    cbDatabase->setObjectName("cbDatabase");
    cbDatabase->setEditable(true);
    cbDatabase->setInsertPolicy(QComboBox::NoInsert);
    btnTest = new QPushButton(Cz("&Otestovat připojení"), this);
    btnTest->setObjectName("btnTest");

    auto* form = new QFormLayout;
    form->addRow(Cz("&Server:"), edServer);
    form->addRow(Cz("&Ověření:"), cbAuthentication);
    form->addRow(Cz("&Uživatel:"), edUser);
    form->addRow(Cz("&Heslo:"), edPassword);
    form->addRow(Cz("&Databáze:"), cbDatabase);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnTest, QDialogButtonBox::ActionRole);
    AddOkCancel(this, buttons, btnOK, btnCancel);
    connect(btnTest, &QPushButton::clicked, this, &TConnBuildForm::TestClick);
    connect(cbAuthentication, &QComboBox::currentIndexChanged, this, &TConnBuildForm::UpdateEnabled);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    UpdateEnabled();
}

void TConnBuildForm::UpdateEnabled() {
    bool login = cbAuthentication->currentIndex() == 0;
    edUser->setEnabled(login);
    edPassword->setEnabled(login);
}

void TConnBuildForm::SetConnectionString(const QString& Text) {
    FOther.clear();
    bool integrated = false;
    for (const auto& [key, value] : SplitConnectionString(Text)) {
        if (IsKey(key, {"Data Source", "Server", "Address", "Addr", "Network Address"}))
            edServer->setText(value);
        else if (IsKey(key, {"Initial Catalog", "Database"}))
            cbDatabase->setEditText(value);
        else if (IsKey(key, {"User ID", "UID"}))
            edUser->setText(value);
        else if (IsKey(key, {"Password", "PWD"}))
            edPassword->setText(value);
        else if (IsKey(key, {"Integrated Security", "Trusted_Connection"}))
            integrated = value.compare("SSPI", Qt::CaseInsensitive) == 0 ||
                         value.compare("true", Qt::CaseInsensitive) == 0 ||
                         value.compare("yes", Qt::CaseInsensitive) == 0;
        else if (IsKey(key, {"Provider", "Persist Security Info"}))
            continue; // written anew
        else
            FOther.emplace_back(key, value);
    }
    cbAuthentication->setCurrentIndex(integrated ? 1 : 0);
    UpdateEnabled();
}

QString TConnBuildForm::ConnectionString() const {
    QStringList parts{QStringLiteral("Provider=SQLOLEDB.1")};
    if (cbAuthentication->currentIndex() == 1) {
        parts << QStringLiteral("Integrated Security=SSPI") << QStringLiteral("Persist Security Info=False");
    } else {
        if (!edPassword->text().isEmpty())
            parts << QStringLiteral("Password=") + QuoteConnectionValue(edPassword->text());
        parts << QStringLiteral("Persist Security Info=True");
        parts << QStringLiteral("User ID=") + QuoteConnectionValue(edUser->text().trimmed());
    }
    const QString database = cbDatabase->currentText().trimmed();
    if (!database.isEmpty()) parts << QStringLiteral("Initial Catalog=") + QuoteConnectionValue(database);
    parts << QStringLiteral("Data Source=") + QuoteConnectionValue(edServer->text().trimmed());
    for (const auto& [key, value] : FOther) parts << key + '=' + QuoteConnectionValue(value);
    return parts.join(';');
}

void TConnBuildForm::TestClick() {
    const QString database = cbDatabase->currentText();
    try {
        TDataConnection connection;
        connection.ConnectionString = FromQ(ConnectionString());
        connection.Open();
        QStringList names;
        for (const std::string& name : connection.ListCatalogs()) names << ToQ(name);
        connection.Close();
        cbDatabase->clear();
        cbDatabase->addItems(names);
        cbDatabase->setEditText(database);
        LastTestAnswer = Cz("Připojení k serveru proběhlo úspěšně. Databáze na serveru: %1.")
                             .arg(names.isEmpty() ? Cz("žádné") : names.join(QStringLiteral(", ")));
        ShowPlainMessage(LastTestAnswer, this);
    } catch (const std::exception& e) {
        LastTestAnswer = Cz("Připojení k serveru se nezdařilo: %1").arg(ToQ(e.what()));
        ShowErrorBox(LastTestAnswer, this);
    }
}

} // namespace znx::editor
