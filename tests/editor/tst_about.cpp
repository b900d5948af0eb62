// The about box, the version numbers the executable carries, and the link label.
#include <QFile>
#include <cstring>
#include <elf.h>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>

#include "editor/Shell.h"
#include "editor/URLLabel.h"
#include "editor/VersionInfo.h"
#include "editor/about.h"
#include "platform/process.h"
#include "tests/editor/support/EditorTest.h"

using namespace znx::editor;
using namespace znx::editor::test;

namespace {

// Handlers registered for these MIME types (the stand-in of the desktop).
QStringList g_registered;
QList<QUrl> g_opened;

void Register(QStringList mimeTypes) {
    g_registered = std::move(mimeTypes);
    SetHandlerQuery([](const QString& mime) {
        return g_registered.contains(mime) ? QString("browser.desktop") : QString();
    });
}

QString BuiltVersion() {
    uint16_t a, b, c, d;
    BuiltVersionNumbers(a, b, c, d);
    return QString("%1.%2.%3.%4").arg(a).arg(b).arg(c).arg(d);
}

    // A minimal ELF file of either class whose one note segment (or note
    // section) carries 2.5.7.9 after an unrelated note.
    template <typename Ehdr, typename Phdr, typename Shdr>
QByteArray SyntheticElf(unsigned char elfClass, bool asSection) {
        QByteArray notes;
        auto note = [&notes](const char* name, uint32_t type, QByteArray desc) {
            uint32_t h[3] = {uint32_t(std::strlen(name) + 1), uint32_t(desc.size()), type};
            notes.append(reinterpret_cast<const char*>(h), sizeof h);
            QByteArray n(name, int(std::strlen(name)) + 1);
            while (n.size() % 4) n.append('\0');
            notes.append(n);
            while (desc.size() % 4) desc.append('\0');
            notes.append(desc);
        };
        note("GNU", 3, QByteArray(20, '\x11'));
        const uint16_t v[4] = {2, 5, 7, 9};
        note("ZNX", 1, QByteArray(reinterpret_cast<const char*>(v), 8));
        Ehdr eh{};
        std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
        eh.e_ident[EI_CLASS] = elfClass;
        eh.e_ident[EI_DATA] = ELFDATA2LSB;
        const uint64_t tableAt = sizeof(Ehdr), notesAt = sizeof(Ehdr) + sizeof(Shdr) + sizeof(Phdr);
        QByteArray table;
        if (asSection) {
            Shdr sh{};
            sh.sh_type = SHT_NOTE;
            sh.sh_offset = notesAt;
            sh.sh_size = uint32_t(notes.size());
            eh.e_shoff = tableAt;
            eh.e_shnum = 1;
            eh.e_shentsize = sizeof(Shdr);
            table = QByteArray(reinterpret_cast<const char*>(&sh), sizeof sh) + QByteArray(sizeof(Phdr), '\0');
        } else {
            Phdr ph{};
            ph.p_type = PT_NOTE;
            ph.p_offset = notesAt;
            ph.p_filesz = uint32_t(notes.size());
            eh.e_phoff = tableAt;
            eh.e_phnum = 1;
            eh.e_phentsize = sizeof(Phdr);
            table = QByteArray(reinterpret_cast<const char*>(&ph), sizeof ph) + QByteArray(sizeof(Shdr), '\0');
        }
        return QByteArray(reinterpret_cast<const char*>(&eh), sizeof eh) + table + notes;
    }

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetUrlOpener([](const QUrl& url) {
            g_opened << url;
            return true;
        });
    }
    void init() {
        g_opened.clear();
        Register({});
    }
    void cleanupTestCase() {
        SetUrlOpener({});
        SetHandlerQuery({});
    }

    void versionOfThePlanoraExecutable() {
        const QByteArray planora = qgetenv("PLANORA_PATH");
        QVERIFY2(!planora.isEmpty(), "PLANORA_PATH names the built planora");
        uint16_t major = 0, minor = 0, release = 0, build = 0;
        QVERIFY(GetFileVersionNumbers(planora.toStdString(), major, minor, release, build));
        QCOMPARE(QString("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build), BuiltVersion());
        QCOMPARE(TFormAbout::VersionLine(planora.toStdString()), "Verze " + BuiltVersion());
        // The project's version as the build passes it.
        QCOMPARE(BuiltVersion(), QString("%1.%2.%3.%4")
                                     .arg(ZNX_VERSION_MAJOR).arg(ZNX_VERSION_MINOR)
                                     .arg(ZNX_VERSION_PATCH).arg(ZNX_VERSION_TWEAK));
    }

    void filesWithoutVersion_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not an executable\n");
        QTest::newRow("ELF header only") << QByteArray("\x7f" "ELF\x02\x01\x01", 7) + QByteArray(57, '\0');
        QTest::newRow("ELF with wild offsets")
            << QByteArray("\x7f" "ELF\x02\x01\x01", 7) + QByteArray(25, '\0') + QByteArray(32, '\xff');
    }
    void filesWithoutVersion() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.path() + "/prog";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        uint16_t a = 9, b = 9, c = 9, d = 9;
        QVERIFY(!GetFileVersionNumbers(path.toStdString(), a, b, c, d));
        QCOMPARE(a + b + c + d, 0);
        QCOMPARE(TFormAbout::VersionLine(path.toStdString()), QString("Verze 0.0.0.0"));
        QVERIFY(!GetFileVersionNumbers((dir.path() + "/missing").toStdString(), a, b, c, d));
    }


    void syntheticExecutables_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("64-bit segment") << SyntheticElf<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(ELFCLASS64, false);
        QTest::newRow("64-bit section") << SyntheticElf<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(ELFCLASS64, true);
        QTest::newRow("32-bit segment") << SyntheticElf<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(ELFCLASS32, false);
        QTest::newRow("32-bit section") << SyntheticElf<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(ELFCLASS32, true);
    }
    void syntheticExecutables() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.path() + "/prog";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QCOMPARE(TFormAbout::VersionLine(path.toStdString()), QString("Verze 2.5.7.9"));
        // Cut inside the version note: no numbers, no crash.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content.left(content.size() - 6));
        f.close();
        QCOMPARE(TFormAbout::VersionLine(path.toStdString()), QString("Verze 0.0.0.0"));
    }

    void strippedExecutableKeepsItsVersion() {
        QTemporaryDir dir;
        const QString copy = dir.path() + "/planora";
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("PLANORA_PATH")), copy));
        QProcess strip;
        strip.start("strip", {"--strip-all", copy});
        QVERIFY(strip.waitForFinished(60000));
        QCOMPARE(strip.exitCode(), 0);
        QCOMPARE(TFormAbout::VersionLine(copy.toStdString()), "Verze " + BuiltVersion());
    }

    void aboutBox() {
        Register({"x-scheme-handler/http"});
        TFormAbout box;
        QCOMPARE(box.windowTitle(), Cz("O programu"));
        QCOMPARE(box.size(), QSize(331, 210));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.labelBuild->objectName(), QString("labelBuild"));
        QCOMPARE(box.URLLabel2->objectName(), QString("URLLabel2"));
        // The running program's own numbers: the test carries the same note.
        QCOMPARE(box.labelBuild->text(), "Verze " + BuiltVersion());
        QVERIFY(box.labelBuild->width() >= box.labelBuild->sizeHint().width());
        QCOMPARE(box.Label1->text(), Cz("Manažer plánovaných činností"));
        QVERIFY(box.Label1->font().bold());
        QCOMPARE(box.Label1->font().pointSize(), 12);
        QCOMPARE(box.Bevel1->geometry(), QRect(8, 8, 313, 153));
        QCOMPARE(box.Image1->geometry(), QRect(32, 24, 32, 32));
        QVERIFY(!box.Image1->pixmap().isNull());
        QCOMPARE(box.Button1->text(), QString("OK"));
        QCOMPARE(box.Button1->geometry(), QRect(127, 176, 75, 25));
        QVERIFY(box.Button1->isDefault());
        QCOMPARE(box.URLLabel2->toolTip(), Cz("Zobrazí webovou stránku výrobce"));
        QCOMPARE(box.URLLabel2->InetAddr(), MakerWebAddress());
        QVERIFY(!box.URLLabel2->InetAddr().contains("://"));
        QVERIFY(box.URLLabel2->text().contains("&")); // shown as an ordinary character
        QCOMPARE(box.URLLabel2->textFormat(), Qt::PlainText);
        QVERIFY(box.URLLabel2->HtmlHandlerFound());
        QVERIFY(box.URLLabel2->font().underline());
        QCOMPARE(box.URLLabel2->cursor().shape(), Qt::PointingHandCursor);
    }

    void enterAndEscCloseTheBox_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("click") << 0;
    }
    void enterAndEscCloseTheBox() {
        QFETCH(int, key);
        TFormAbout box;
        ModalDriver boxes;
        boxes.Then([key](QWidget* w) {
            auto* about = qobject_cast<TFormAbout*>(w);
            QVERIFY(about);
            if (key) QTest::keyClick(about->Button1, Qt::Key(key));
            else about->Button1->click();
        });
        QCOMPARE(box.exec(), int(QDialog::Rejected));
        QVERIFY(boxes.AllDone());
    }

    void linkClickOpensMakerPage() {
        Register({"x-scheme-handler/https"}); // https alone counts as a web handler
        TFormAbout box;
        box.show();
        QSignalSpy clicked(box.URLLabel2, &TURLLabel::clicked);
        QTest::mouseClick(box.URLLabel2, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(g_opened, QList<QUrl>{QUrl("http://" + MakerWebAddress())});
    }

    void noWebHandler() {
        Register({"x-scheme-handler/mailto"});
        TFormAbout box;
        box.show();
        TURLLabel* link = box.URLLabel2;
        QVERIFY(!link->HtmlHandlerFound());
        QVERIFY(link->MailHandlerFound());
        QVERIFY(!link->IsActive());
        QVERIFY(link->isVisible());
        QVERIFY(!link->font().underline());
        QVERIFY(!link->testAttribute(Qt::WA_SetCursor));
        QSignalSpy clicked(link, &TURLLabel::clicked);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1); // the handler runs, nothing opens
        QVERIFY(g_opened.isEmpty());
    }

    void detectedType_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("type");
        QTest::newRow("empty") << "" << int(ultHTML);
        QTest::newRow("http:") << "http://a@b" << int(ultHTML);
        QTest::newRow("www.") << "www.x@y" << int(ultHTML);
        QTest::newRow("mail") << "info@znx.example" << int(ultMAIL);
        QTest::newRow("bare") << "znx.example" << int(ultHTML);
        QTest::newRow("case-sensitive HTTP:") << "HTTP:x@y" << int(ultMAIL);
        QTest::newRow("case-sensitive WWW.") << "WWW.x@y" << int(ultMAIL);
    }
    void detectedType() {
        QFETCH(QString, address);
        QFETCH(int, type);
        QCOMPARE(int(TURLLabel::DetectedType(address)), type);
    }

    void targets_data() {
        QTest::addColumn<int>("labelType");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("handlers");
        QTest::addColumn<QString>("opened"); // empty: nothing opens
        const QStringList web{"x-scheme-handler/http"}, mail{"x-scheme-handler/mailto"};
        QTest::newRow("bare address") << int(ultHTML) << "www.znx.example" << web << "http://www.znx.example";
        QTest::newRow("http:// kept") << int(ultHTML) << "http://znx.example/a" << web << "http://znx.example/a";
        QTest::newRow("HTTP:// kept") << int(ultHTML) << "HTTP://znx.example" << web << "HTTP://znx.example";
        QTest::newRow("https gets http:// in front")
            << int(ultHTML) << "https://znx.example" << web << "http://https://znx.example";
        QTest::newRow("auto mail") << int(ultAUTO) << "info@znx.example" << mail << "mailto:info@znx.example";
        QTest::newRow("auto mailto: kept") << int(ultAUTO) << "MAILTO:info@znx.example" << mail
                                           << "MAILTO:info@znx.example";
        QTest::newRow("auto mail without handler") << int(ultAUTO) << "info@znx.example" << web << "";
        QTest::newRow("mail type") << int(ultMAIL) << "www.znx.example" << mail << "mailto:www.znx.example";
        QTest::newRow("web without handler") << int(ultHTML) << "www.znx.example" << mail << "";
        QTest::newRow("empty address") << int(ultHTML) << "" << web << "";
    }
    void targets() {
        QFETCH(int, labelType);
        QFETCH(QString, address);
        QFETCH(QStringList, handlers);
        QFETCH(QString, opened);
        Register(handlers);
        QWidget form;
        auto* link = new TURLLabel(&form);
        link->setText("odkaz");
        link->SetlabelType(TUrlLabelType(labelType));
        link->SetInetAddr(address);
        link->Loaded();
        form.show();
        QCOMPARE(link->IsActive(), !opened.isEmpty());
        QCOMPARE(link->cursor().shape(), opened.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
        link->Click();
        if (opened.isEmpty()) QVERIFY(g_opened.isEmpty());
        else QCOMPARE(g_opened, QList<QUrl>{QUrl(opened, QUrl::TolerantMode)});
    }

    void hidePassiveAndLookFollowsSettings() {
        Register({"x-scheme-handler/http"});
        QWidget form;
        auto* link = new TURLLabel(&form);
        link->SetHidePassive(true);
        link->SetInetAddr("www.znx.example");
        link->Loaded();
        form.show();
        QVERIFY(link->isVisible());
        link->SetlabelType(ultMAIL); // no mail handler: passive and hidden
        QVERIFY(!link->IsActive());
        QVERIFY(link->isHidden());
        link->Click();
        QVERIFY(g_opened.isEmpty());
        link->SetlabelType(ultHTML);
        QVERIFY(link->isVisible());
        link->SetHidePassive(false);
        link->SetInetAddr("");
        QVERIFY(link->isVisible()); // inactive, keeps its visibility
        QVERIFY(!link->font().underline());
        // Setting a font does not change the look until the next update.
        QFont big = link->LinkFont();
        big.setPointSize(20);
        link->SetLinkFont(big);
        QVERIFY(link->font().pointSize() != 20);
        link->SetInetAddr("www.znx.example");
        QCOMPARE(link->font().pointSize(), 20);
    }

    void handlersFromMimeAppsList() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("config"));
        WriteText(dir.path() + "/config/mimeapps.list",
                  "[Added Associations]\nx-scheme-handler/mailto=other.desktop;\n\n"
                  "[Default Applications]\nx-scheme-handler/http=firefox-esr.desktop;chromium.desktop;\n"
                  "text/html = firefox-esr.desktop\n");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", dir.path().toLocal8Bit()); // no xdg-mime: the lists are read directly
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", (dir.path() + "/none").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dir.path() + "/none").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (dir.path() + "/none").toLocal8Bit());
        const QString http = DesktopDefaultHandler("x-scheme-handler/http");
        const QString html = DesktopDefaultHandler("text/html");
        const QString mail = DesktopDefaultHandler("x-scheme-handler/mailto");
        qputenv("PATH", path);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) qunsetenv(v);
        QCOMPARE(http, QString("firefox-esr.desktop"));
        QCOMPARE(html, QString("firefox-esr.desktop"));
        QCOMPARE(mail, QString()); // only added, not a default
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
