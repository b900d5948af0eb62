// The data module: the presence check, the connection string in the user's
// hive, the connection-string dialog and the catalog listing against the TDS
// test server.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/ConnEdit.h"
#include "editor/NastPlan.h"
#include "editor/data.h"
#include "platform/registry.h"
#include "tests/editor/support/EditorTest.h"
#include "tests/editor/support/TdsServerQt.h"

using namespace znx::editor;
using namespace znx::editor::test;

namespace {

void CreateMachineKey(const char* key) {
    znx::TRegistry reg(znx::KEY_ALL_ACCESS);
    reg.SetRootKey(znx::TRootKey::HKEY_LOCAL_MACHINE);
    QVERIFY(reg.OpenKey(key, true));
}

bool MachineKeyExists(const char* key) {
    znx::TRegistry reg(znx::KEY_READ);
    reg.SetRootKey(znx::TRootKey::HKEY_LOCAL_MACHINE);
    return reg.KeyExists(key);
}

void SetAdoString(const QString& value) {
    znx::TRegistry reg(znx::KEY_ALL_ACCESS);
    QVERIFY(reg.OpenKey("Software\\ZNX\\Planora", true));
    reg.WriteString("ADOString", value.toStdString());
}

// The stored value; null when the value (or its key) is missing.
QString AdoString() {
    znx::TRegistry reg(znx::KEY_READ);
    if (!reg.OpenKey("Software\\ZNX\\Planora", false) || !reg.ValueExists("ADOString")) return QString();
    return QString::fromStdString(reg.ReadString("ADOString"));
}

// Steps for the connection-string dialog.
ModalDriver::Step TypeConnectionString(QString text, QString* shown = nullptr) {
    return [text, shown](QWidget* w) {
        auto* form = qobject_cast<TConnEditForm*>(w);
        QVERIFY2(form, qPrintable(w->metaObject()->className()));
        if (shown) *shown = form->edConnString->text();
        form->rbConnString->setChecked(true);
        form->edConnString->clear();
        TypeText(form->edConnString, text);
        form->btnOK->click();
    };
}
ModalDriver::Step CancelDialog(QString* shown = nullptr) {
    return [shown](QWidget* w) {
        auto* form = qobject_cast<TConnEditForm*>(w);
        QVERIFY(form);
        if (shown) *shown = form->edConnString->text();
        form->btnCancel->click();
    };
}

} // namespace

class TestData : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> hives;

private slots:
    void init() {
        hives = std::make_unique<QTemporaryDir>();
        qputenv("ZNX_MACHINE_REG", (hives->path() + "/machine.reg").toLocal8Bit());
        qputenv("ZNX_USER_REG", (hives->path() + "/user.reg").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (hives->path() + "/share").toLocal8Bit());
    }
    void cleanup() {
        qunsetenv("ZNX_MACHINE_REG");
        qunsetenv("ZNX_USER_REG");
        qunsetenv("XDG_DATA_HOME");
    }

    void noServerProduct() {
        SetAdoString("Provider=SQLOLEDB.1;Data Source=x");
        TMainData data;
        ModalDriver boxes;
        data.DataModuleCreate();
        QCOMPARE(boxes.Seen(), 0);
        QVERIFY(!data.ServerInstalled);
        QVERIFY(!data.Catalogs);
        QVERIFY(!MachineKeyExists("SOFTWARE\\ZNX\\KastlSrv"));
        QVERIFY(!MachineKeyExists("SOFTWARE\\ZNX\\KorlSrv"));
        // The menu command repeats the check: still nothing visible.
        QVERIFY(!data.PrepareConnection(true));
        data.LoadCatalogs(data.Catalogs.get());
        QCOMPARE(boxes.Seen(), 0);
        QCOMPARE(data.DBse.ConnectionString, std::string());
        QCOMPARE(data.DBse.DefaultDatabase, std::string("master"));
    }

    void eitherProductKeyCounts_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("KastlSrv") << "SOFTWARE\\ZNX\\KastlSrv";
        QTest::newRow("KorlSrv only") << "SOFTWARE\\ZNX\\KorlSrv";
        QTest::newRow("other letter case") << "Software\\znx\\KORLSRV";
    }
    void eitherProductKeyCounts() {
        QFETCH(QString, key);
        CreateMachineKey(key.toLatin1().constData());
        TdsServer server({"master", "tempdb", "model", "msdb", Cz("Účetnictví")});
        QVERIFY(server.Port() > 0);
        SetAdoString(server.AdoString());
        TMainData data;
        ModalDriver boxes;
        data.DataModuleCreate();
        // A string is stored: no dialog, the catalogs listed without a message.
        QCOMPARE(boxes.Seen(), 0);
        QVERIFY(data.ServerInstalled);
        QVERIFY(data.Catalogs);
        QCOMPARE(*data.Catalogs, (QStringList{"master", "tempdb", "model", "msdb", Cz("Účetnictví")}));
        QVERIFY(!data.DBse.Connected());
        QVERIFY(server.AllClosed());
        QCOMPARE(data.DBse.ConnectionString, server.AdoString().toStdString());
    }

    void catalogsKeepTheServersOrder() {
        CreateMachineKey("SOFTWARE\\ZNX\\KorlSrv");
        TdsServer server({"zeta", "alfa", "Alfa", "master"});
        SetAdoString(server.AdoString());
        TMainData data;
        data.DataModuleCreate();
        QCOMPARE(*data.Catalogs, (QStringList{"zeta", "alfa", "Alfa", "master"}));
    }

    void unwritableMachineHiveHidesTheProduct() {
        CreateMachineKey("SOFTWARE\\ZNX\\KastlSrv");
        SetAdoString("Provider=SQLOLEDB.1;Data Source=x");
        const QString machine = hives->path() + "/machine.reg";
        QCOMPARE(::chmod(machine.toLocal8Bit().constData(), 0444), 0);
        QCOMPARE(::chmod((hives->path() + "/user.reg").toLocal8Bit().constData(), 0666), 0);
        QCOMPARE(::chmod(hives->path().toLocal8Bit().constData(), 0755), 0);
        const bool root = ::getuid() == 0;
        TMainData data;
        ModalDriver boxes;
        if (root) QVERIFY(::setresuid(65534, 65534, 0) == 0);
        data.DataModuleCreate();
        if (root) QVERIFY(::setresuid(0, 0, 0) == 0);
        QVERIFY(!data.ServerInstalled);
        QVERIFY(!data.Catalogs);
        QCOMPARE(boxes.Seen(), 0);
    }

    void missingStringShowsTheDialog_OK() {
        CreateMachineKey("SOFTWARE\\ZNX\\KorlSrv");
        TdsServer server({"master", "sklad"});
        TMainData data;
        ModalDriver boxes;
        QString shown = "unset";
        boxes.Then(TypeConnectionString(server.AdoString(), &shown));
        data.DataModuleCreate();
        QVERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 1);
        QCOMPARE(shown, QString());
        QCOMPARE(AdoString(), server.AdoString());
        QCOMPARE(*data.Catalogs, (QStringList{"master", "sklad"}));
    }

    void missingStringShowsTheDialog_Cancel() {
        CreateMachineKey("SOFTWARE\\ZNX\\KorlSrv");
        TMainData data;
        ModalDriver boxes;
        boxes.Then(CancelDialog());
        boxes.Then(ClickButton("OK")); // the listing with an empty string fails once
        data.DataModuleCreate();
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 2);
        QVERIFY(!AdoString().isNull()); // created, empty
        QCOMPARE(AdoString(), QString(""));
        QVERIFY(data.ServerInstalled);
        QVERIFY(data.Catalogs && data.Catalogs->isEmpty());
        QVERIFY(!data.DBse.Connected());
    }

    void unreachableServer() {
        CreateMachineKey("SOFTWARE\\ZNX\\KastlSrv");
        SetAdoString(RefusedString());
        TMainData data;
        ModalDriver boxes;
        boxes.Then([](QWidget* box) {
            QCOMPARE(box->windowTitle(), Cz("Manažer činností"));
            if (auto* mb = qobject_cast<QMessageBox*>(box)) QCOMPARE(mb->icon(), QMessageBox::Critical);
            ButtonWithText(box, "OK")->click();
        });
        data.DataModuleCreate();
        QTRY_VERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 1);
        QVERIFY(boxes.Texts().value(0).endsWith('.'));
        QVERIFY(data.Catalogs && data.Catalogs->isEmpty());
        QVERIFY(!data.DBse.Connected());
        // The list keeps nothing of an earlier listing.
        data.Catalogs->append("stale");
        boxes.Then(ClickButton("OK"));
        data.LoadCatalogs(data.Catalogs.get());
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY(data.Catalogs->isEmpty());
    }

    void menuCommandShowsStoredStringAndRefills() {
        CreateMachineKey("SOFTWARE\\ZNX\\KorlSrv");
        TdsServer first({"master", "a"});
        TdsServer second({"master", "b", "c"});
        SetAdoString(first.AdoString());
        TMainData data;
        data.DataModuleCreate();
        QCOMPARE(*data.Catalogs, (QStringList{"master", "a"}));

        // Cancel: the stored string is shown, written back unchanged, used.
        ModalDriver boxes;
        QString shown;
        boxes.Then(CancelDialog(&shown));
        QVERIFY(data.PrepareConnection(true));
        QVERIFY(boxes.AllDone());
        QCOMPARE(shown, first.AdoString());
        QCOMPARE(AdoString(), first.AdoString());
        QCOMPARE(data.DBse.ConnectionString, first.AdoString().toStdString());

        // OK with another server: stored, and the same list is refilled.
        boxes.Then(TypeConnectionString(second.AdoString()));
        QStringList* list = data.Catalogs.get();
        QVERIFY(data.PrepareConnection(true));
        data.LoadCatalogs(data.Catalogs.get());
        QVERIFY(boxes.AllDone());
        QCOMPARE(data.Catalogs.get(), list);
        QCOMPARE(*data.Catalogs, (QStringList{"master", "b", "c"}));
        QCOMPARE(AdoString(), second.AdoString());
        QCOMPARE(boxes.Seen(), 2);
    }

    void mainWindowConnectionCommand() {
        CreateMachineKey("SOFTWARE\\ZNX\\KastlSrv");
        TdsServer first({"master", "a"});
        TdsServer second({"master", "b"});
        SetAdoString(first.AdoString());
        TMainData data;
        data.DataModuleCreate();
        SetMainData(&data);
        QTemporaryDir dir;
        TFormNastPlan form(dir.path() + "/vykonar.ini");
        ModalDriver boxes;
        QString shown;
        boxes.Then(TypeConnectionString(second.AdoString(), &shown));
        form.actPripojeni->trigger();
        SetMainData(nullptr);
        QVERIFY(boxes.AllDone());
        QCOMPARE(boxes.Seen(), 1);
        QCOMPARE(shown, first.AdoString());
        QCOMPARE(AdoString(), second.AdoString());
        QCOMPARE(*data.Catalogs, (QStringList{"master", "b"}));
        QVERIFY(data.ServerInstalled);
    }

    void wrongValueTypeIsShownAtStartUp() {
        CreateMachineKey("SOFTWARE\\ZNX\\KorlSrv");
        {
            znx::TRegistry reg(znx::KEY_ALL_ACCESS);
            QVERIFY(reg.OpenKey("Software\\ZNX\\Planora", true));
            reg.WriteInteger("ADOString", 7);
        }
        TMainData data;
        ModalDriver boxes;
        boxes.Then(ClickButton("OK"));
        data.DataModuleCreate();
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY2(boxes.Texts().value(0).contains("ADOString"), qPrintable(boxes.Texts().value(0)));
        QVERIFY(!data.ServerInstalled);
        QVERIFY(!data.Catalogs);
    }

    // ---------------------------------------------------------- the dialog

    void dialogResults_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("action"); // cancel, esc, ok, link:<text>, string:<text>
        QTest::addColumn<QString>("result"); // "@" stands for the data-link folder
        QTest::addColumn<bool>("linkPreselected");
        const QString s = "Provider=SQLOLEDB.1;Data Source=srv;Initial Catalog=master";
        QTest::newRow("cancel keeps a string") << s << "cancel" << s << false;
        QTest::newRow("esc keeps a string") << s << "esc" << s << false;
        QTest::newRow("cancel keeps a data link") << "FILE NAME=/srv/x.udl" << "cancel" << "FILE NAME=/srv/x.udl" << true;
        QTest::newRow("cancel keeps empty") << "" << "cancel" << "" << false;
        QTest::newRow("ok returns the string") << s << "ok" << s << false;
        QTest::newRow("ok returns the text exactly") << " a=b; " << "ok" << " a=b; " << false;
        QTest::newRow("ok returns the data link") << "FILE NAME=/srv/x.udl" << "ok" << "FILE NAME=/srv/x.udl" << true;
        QTest::newRow("data link in the folder") << "FILE NAME=@/mine.udl" << "ok" << "FILE NAME=@/mine.udl" << true;
        QTest::newRow("lower-case prefix") << "file name=/srv/x.udl" << "ok" << "FILE NAME=/srv/x.udl" << true;
        QTest::newRow("bare file name gets the folder") << s << "link:nova.udl" << "FILE NAME=@/nova.udl" << false;
        QTest::newRow("no file named") << "FILE NAME=/srv/x.udl" << "link:" << "" << true;
        QTest::newRow("typed string") << "FILE NAME=/srv/x.udl" << Cz("string:Provider=SQLOLEDB.1;Password=žluťoučký")
                                      << Cz("Provider=SQLOLEDB.1;Password=žluťoučký") << true;
    }
    void dialogResults() {
        QFETCH(QString, input);
        QFETCH(QString, action);
        QFETCH(QString, result);
        QFETCH(bool, linkPreselected);
        const QString folder = DataLinkFolder();
        QCOMPARE(folder, hives->path() + "/share/znx/datalinks");
        input.replace("@", folder);
        result.replace("@", folder);
        ModalDriver boxes;
        boxes.Then([&](QWidget* w) {
            auto* form = qobject_cast<TConnEditForm*>(w);
            QVERIFY(form);
            QCOMPARE(form->rbDataLink->isChecked(), linkPreselected);
            QCOMPARE(form->rbConnString->isChecked(), !linkPreselected);
            if (action == "cancel") form->btnCancel->click();
            else if (action == "esc") QTest::keyClick(form, Qt::Key_Escape);
            else if (action == "ok") form->btnOK->click();
            else if (action.startsWith("link:")) {
                form->rbDataLink->setChecked(true);
                form->cbDataLink->setEditText(action.mid(5));
                form->btnOK->click();
            } else {
                form->rbConnString->setChecked(true);
                form->edConnString->clear();
                TypeText(form->edConnString, action.mid(7));
                form->btnOK->click();
            }
        });
        QCOMPARE(EditConnectionString(input), result);
        QVERIFY(boxes.AllDone());
    }

    void dialogListsTheDataLinkFolder() {
        const QString folder = DataLinkFolder();
        QVERIFY(QDir().mkpath(folder));
        WriteText(folder + "/sklad.udl", "x");
        WriteText(folder + "/mzdy.udl", "x");
        WriteText(folder + "/readme.txt", "x");
        TConnEditForm form;
        form.SetConnectionString("FILE NAME=" + folder + "/sklad.udl");
        QCOMPARE(form.cbDataLink->count(), 2);
        QCOMPARE(form.cbDataLink->itemText(0), QString("mzdy.udl"));
        QCOMPARE(form.cbDataLink->itemText(1), QString("sklad.udl"));
        QCOMPARE(form.cbDataLink->currentText(), QString("sklad.udl"));
        form.cbDataLink->setCurrentIndex(0);
        QCOMPARE(form.ConnectionString(), "FILE NAME=" + folder + "/mzdy.udl");
    }

    void builderComposes_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("authentication");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("result");
        QTest::newRow("login") << "srv\\SQL2019" << 0 << "sa" << "heslo" << "master"
                               << "Provider=SQLOLEDB.1;Password=heslo;Persist Security Info=True;User ID=sa;"
                                  "Initial Catalog=master;Data Source=srv\\SQL2019";
        QTest::newRow("integrated") << "srv,1433" << 1 << "ignored" << "ignored" << ""
                                    << "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                                       "Data Source=srv,1433";
        QTest::newRow("quoted password") << "srv" << 0 << "u" << "a;b\"c" << ""
                                         << "Provider=SQLOLEDB.1;Password=\"a;b\"\"c\";Persist Security Info=True;"
                                            "User ID=u;Data Source=srv";
        QTest::newRow("no password") << "srv" << 0 << "u" << "" << "db"
                                     << "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=u;Initial Catalog=db;"
                                        "Data Source=srv";
    }
    void builderComposes() {
        QFETCH(QString, server);
        QFETCH(int, authentication);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, database);
        QFETCH(QString, result);
        TConnBuildForm form;
        form.edServer->setText(server);
        form.cbAuthentication->setCurrentIndex(authentication);
        form.edUser->setText(user);
        form.edPassword->setText(password);
        form.cbDatabase->setEditText(database);
        QCOMPARE(form.ConnectionString(), result);
        // Read back, it composes the same string.
        TConnBuildForm again;
        again.SetConnectionString(result);
        QCOMPARE(again.ConnectionString(), result);
        if (authentication == 0) QCOMPARE(again.edPassword->text(), password);
    }

    void builderKeepsOtherKeywords() {
        TConnBuildForm form;
        form.SetConnectionString("provider=SQLOLEDB;server=s;uid=u;pwd='x''y';database=d;Connect Timeout=5");
        QCOMPARE(form.edServer->text(), QString("s"));
        QCOMPARE(form.edUser->text(), QString("u"));
        QCOMPARE(form.edPassword->text(), QString("x'y"));
        QCOMPARE(form.cbDatabase->currentText(), QString("d"));
        QCOMPARE(form.ConnectionString(), QString("Provider=SQLOLEDB.1;Password=x'y;Persist Security Info=True;"
                                                  "User ID=u;Initial Catalog=d;Data Source=s;Connect Timeout=5"));
    }

    void builderTestsTheConnection() {
        TdsServer server({"master", "sklad"});
        TConnBuildForm form;
        form.SetConnectionString(server.AdoString());
        ModalDriver boxes;
        boxes.Then(ClickButton("OK"));
        form.btnTest->click();
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY2(boxes.Texts().value(0).contains("master, sklad"), qPrintable(boxes.Texts().value(0)));
        QCOMPARE(form.cbDatabase->count(), 2);
        QVERIFY(server.AllClosed());

        // A wrong password: the server's answer is shown.
        form.edPassword->setText("wrong");
        boxes.Then(ClickButton("OK"));
        form.btnTest->click();
        QTRY_VERIFY(boxes.AllDone());
        QVERIFY2(boxes.Texts().value(1).contains(Cz("nezdařilo")), qPrintable(boxes.Texts().value(1)));
        QVERIFY2(boxes.Texts().value(1).contains("Login failed"), qPrintable(boxes.Texts().value(1)));
    }
};

QTEST_MAIN(TestData)
#include "tst_data.moc"
