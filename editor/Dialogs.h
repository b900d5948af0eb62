#pragma once
// Small helpers of the editor: the application title, the standard error
// box, the confirmation box, the plain message box, text conversion.

#include <QString>
#include <string>

class QWidget;

namespace znx::editor {

// "Manažer činností": the task-bar text and the caption of message boxes.
QString ApplicationTitle();

// The standard error box: the message with a full stop added when its last
// character is not one, an error icon, one OK button, the application title.
void ShowErrorBox(const QString& Message, QWidget* Parent = nullptr);

// The confirmation box: the text, a question icon, caption "Confirm",
// buttons "&Yes" and "&No"; true only for Yes (Esc and the close box give No).
bool ConfirmYesNo(const QString& Text, QWidget* Parent = nullptr);

// A plain message box: no icon, the application title, one OK button.
void ShowPlainMessage(const QString& Text, QWidget* Parent = nullptr);

// Between the storage's 8-bit system code page text and Qt's strings.
QString ToQ(const std::string& Text);
std::string FromQ(const QString& Text);

} // namespace znx::editor

#include <QFont>

namespace znx::editor {

// A fixed text of the system (UTF-8 in the sources) as a Qt string, through
// the system code page as every fixed text goes.
QString SysQ(const char* Utf8);

// The form font of the editor's dialogs: a sans serif of 8 points.
QFont DialogFont();

// Object names of the message boxes, so that tests and tools can find the
// open box among the application's windows. The confirmation box's buttons
// are named "Yes" and "No".
inline constexpr const char* ErrorBoxName = "ErrorBox";
inline constexpr const char* ConfirmBoxName = "ConfirmBox";
inline constexpr const char* PlainMessageBoxName = "PlainMessageBox";

} // namespace znx::editor
