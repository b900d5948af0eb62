#include "editor/Resources.h"

#include <QFontDatabase>

static void InitPlanoraQrc() { Q_INIT_RESOURCE(planora); }

namespace znx::editor {

void InitEditorResources() {
    static bool done = false;
    if (done) return;
    done = true;
    InitPlanoraQrc();
}

QIcon ProgramIcon() {
    InitEditorResources();
    return QIcon(QStringLiteral(":/planora/planora.xpm"));
}

QPixmap NewImage() {
    InitEditorResources();
    return QPixmap(QStringLiteral(":/planora/new.xpm"));
}
QPixmap OpenImage() {
    InitEditorResources();
    return QPixmap(QStringLiteral(":/planora/open.xpm"));
}
QPixmap DeleteImage() {
    InitEditorResources();
    return QPixmap(QStringLiteral(":/planora/delete.xpm"));
}

QFont FormFont() {
    QFont font;
    const QString family = QStringLiteral("MS Sans Serif");
    if (QFontDatabase::families().contains(family, Qt::CaseInsensitive)) font.setFamily(family);
    font.setPointSize(8);
    return font;
}

} // namespace znx::editor
