#include "editor/about.h"

#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "editor/Resources.h"
#include "editor/URLLabel.h"
#include "editor/VersionInfo.h"
#include "platform/process.h"

namespace znx::editor {

QString MakerWebAddress() { return QStringLiteral("www.znx.example"); }

TFormAbout::TFormAbout(QWidget* Parent) : QDialog(Parent) {
    InitEditorResources();
    setObjectName("FormAbout");
    setWindowTitle(QString::fromUtf8("O programu"));
    setFont(FormFont());
    // Fixed dialog border: no resizing, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(331, 210);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::Panel);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setLineWidth(1);
    Bevel1->setGeometry(8, 8, 313, 153);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(32, 24, 32, 32);
    Image1->setPixmap(ProgramIcon().pixmap(32, 32));

    Label1 = new QLabel(QString::fromUtf8("Manažer plánovaných činností"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(80, 22, 172, 38);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    QFont titleFont(QStringLiteral("Arial"), 12, QFont::Bold);
    Label1->setFont(titleFont);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label1->setPalette(blue);

    labelBuild = new QLabel(this);
    labelBuild->setObjectName("labelBuild");
    labelBuild->setGeometry(80, 69, 55, 15);
    labelBuild->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    QPalette caption = labelBuild->palette();
    caption.setColor(QPalette::WindowText, palette().color(QPalette::Active, QPalette::Highlight));
    labelBuild->setPalette(caption);

    URLLabel2 = new TURLLabel(this);
    URLLabel2->setObjectName("URLLabel2");
    URLLabel2->setGeometry(34, 106, 125, 13);
    URLLabel2->setText(QString::fromUtf8("© 2003–2026 ZNX & spol. s r.o."));
    URLLabel2->setToolTip(QString::fromUtf8("Zobrazí webovou stránku výrobce"));
    QFont linkFont = FormFont();
    linkFont.setUnderline(true);
    URLLabel2->SetLinkFont(linkFont);
    URLLabel2->SetPassiveFont(FormFont());
    URLLabel2->SetHidePassive(false);
    URLLabel2->SetInetAddr(MakerWebAddress());
    URLLabel2->Loaded();
    URLLabel2->adjustSize();

    Label2 = new QLabel(QString::fromUtf8("Tento program je chráněn autorským zákonem. "
                                          "Neoprávněné kopírování a šíření je zakázáno."),
                        this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(34, 125, 260, 26);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setWordWrap(true);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(127, 176, 75, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    // Enter and Esc both close the box with the result Cancel.
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

QString TFormAbout::VersionLine(const std::string& ExecutableFile) {
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    GetFileVersionNumbers(ExecutableFile, major, minor, release, build);
    return QString::fromUtf8("Verze %1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

void TFormAbout::FormCreate() {
    std::string exe;
    try {
        exe = ExecutablePath();
    } catch (const std::exception&) {
        exe.clear();
    }
    labelBuild->setText(VersionLine(exe));
    labelBuild->adjustSize(); // the label grows with its text
}

} // namespace znx::editor
