#include "editor/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace znx::editor {
namespace {

TUrlOpener& Opener() {
    static TUrlOpener opener;
    return opener;
}
THandlerQuery& Query() {
    static THandlerQuery query;
    return query;
}

QString EnvOr(const char* name, const QString& fallback) {
    QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// The value of the MIME type in the groups of one mimeapps.list (or
// defaults.list): the first desktop file named, or empty.
QString HandlerInList(const QString& path, const QString& mimeType) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    QString group;
    QString found;
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        int eq = line.indexOf('=');
        if (eq <= 0 || line.left(eq).trimmed() != mimeType) continue;
        const QStringList apps = line.mid(eq + 1).split(';', Qt::SkipEmptyParts);
        if (group == QLatin1String("Default Applications") && found.isEmpty() && !apps.isEmpty())
            found = apps.first().trimmed();
    }
    return found;
}

QString FromMimeAppsLists(const QString& mimeType) {
    const QString home = QDir::homePath();
    QStringList configDirs{EnvOr("XDG_CONFIG_HOME", home + "/.config")};
    configDirs += EnvOr("XDG_CONFIG_DIRS", "/etc/xdg").split(':', Qt::SkipEmptyParts);
    QStringList dataDirs{EnvOr("XDG_DATA_HOME", home + "/.local/share")};
    dataDirs += EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share").split(':', Qt::SkipEmptyParts);
    QStringList lists;
    for (const QString& d : configDirs) lists << d + "/mimeapps.list";
    for (const QString& d : dataDirs) lists << d + "/applications/mimeapps.list";
    for (const QString& d : dataDirs) lists << d + "/applications/defaults.list";
    for (const QString& path : lists) {
        QString app = HandlerInList(path, mimeType);
        if (!app.isEmpty()) return app;
    }
    return {};
}

} // namespace

QString DesktopDefaultHandler(const QString& MimeType) {
    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    if (!xdgMime.isEmpty()) {
        QProcess process;
        process.start(xdgMime, {"query", "default", MimeType});
        if (process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        process.kill();
        process.waitForFinished(1000);
    }
    return FromMimeAppsLists(MimeType);
}

bool ShellOpen(const QUrl& Target) {
    if (Opener()) return Opener()(Target);
    return QDesktopServices::openUrl(Target);
}

QString DefaultHandlerFor(const QString& MimeType) {
    if (Query()) return Query()(MimeType);
    return DesktopDefaultHandler(MimeType);
}

void SetUrlOpener(TUrlOpener Opener_) { Opener() = std::move(Opener_); }
void SetHandlerQuery(THandlerQuery Query_) { Query() = std::move(Query_); }

} // namespace znx::editor
