#pragma once
// The desktop's services the editor uses: opening a web page, a mail link or
// a local file in the program registered for it, and asking which program
// is registered for a kind of link. Both can be replaced (tests do).

#include <QString>
#include <QUrl>
#include <functional>

namespace znx::editor {

// Opens the address with the desktop's registered program; false when the
// desktop refused (the outcome is not reported to the user by the callers
// that ignore it).
bool ShellOpen(const QUrl& Target);

// The desktop file (or command) registered as the default handler of the
// MIME type, e.g. "x-scheme-handler/http"; empty when none is registered.
QString DefaultHandlerFor(const QString& MimeType);

using TUrlOpener = std::function<bool(const QUrl&)>;
using THandlerQuery = std::function<QString(const QString& MimeType)>;
// Replace the services; an empty function restores the desktop's own.
void SetUrlOpener(TUrlOpener Opener);
void SetHandlerQuery(THandlerQuery Query);

// The desktop's answer without any replacement: "xdg-mime query default"
// where installed, else the default applications of the mimeapps.list
// files in the XDG search order.
QString DesktopDefaultHandler(const QString& MimeType);

} // namespace znx::editor
