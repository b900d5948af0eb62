// Small helpers of the editor: the application title, the message boxes and
// the conversion between the system code page and Qt's strings.

#include "editor/Dialogs.h"

#include "platform/text.h"

#include <QAbstractButton>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>

namespace znx::editor {

QString SysQ(const char* Utf8) { return ToQ(znx::SysText(Utf8)); }

QString ApplicationTitle() { return SysQ("Manažer činností"); }

QFont DialogFont() {
    QFont Font(QStringLiteral("MS Sans Serif"));
    Font.setStyleHint(QFont::SansSerif);
    Font.setPointSize(8);
    return Font;
}

void ShowErrorBox(const QString& Message, QWidget* Parent) {
    QString Text = Message;
    if (!Text.isEmpty() && !Text.endsWith(QLatin1Char('.')))
        Text += QLatin1Char('.');
    QMessageBox Box(QMessageBox::Critical, ApplicationTitle(), Text, QMessageBox::Ok, Parent);
    Box.setObjectName(QString::fromLatin1(ErrorBoxName));
    Box.exec();
}

bool ConfirmYesNo(const QString& Text, QWidget* Parent) {
    QMessageBox Box(QMessageBox::Question, QStringLiteral("Confirm"), Text, QMessageBox::NoButton, Parent);
    Box.setObjectName(QString::fromLatin1(ConfirmBoxName));
    QPushButton* Yes = Box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* No = Box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    Yes->setObjectName(QStringLiteral("Yes"));
    No->setObjectName(QStringLiteral("No"));
    Box.setDefaultButton(Yes);
    Box.setEscapeButton(No); // Esc and the close box answer No
    Box.exec();
    return Box.clickedButton() == Yes;
}

void ShowPlainMessage(const QString& Text, QWidget* Parent) {
    QMessageBox Box(QMessageBox::NoIcon, ApplicationTitle(), Text, QMessageBox::Ok, Parent);
    Box.setObjectName(QString::fromLatin1(PlainMessageBoxName));
    Box.exec();
}

QString ToQ(const std::string& Text) {
    return QString::fromLocal8Bit(Text.data(), static_cast<qsizetype>(Text.size()));
}

std::string FromQ(const QString& Text) {
    const QByteArray Bytes = Text.toLocal8Bit();
    return std::string(Bytes.constData(), static_cast<std::size_t>(Bytes.size()));
}

} // namespace znx::editor
