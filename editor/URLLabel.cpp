#include "editor/URLLabel.h"

#include <QMouseEvent>
#include <QUrl>

#include "editor/Shell.h"

namespace znx::editor {

TURLLabel::TURLLabel(QWidget* Owner) : QLabel(Owner) {
    FLinkFont = font();
    FLinkFont.setUnderline(true);
    FPassiveFont = font();
    // "&" is an ordinary character of the caption.
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    FlabelType = ultHTML;
}

TURLLabel::~TURLLabel() = default;

void TURLLabel::SetInetAddr(const QString& Value) {
    FInetAddr = Value;
    UpdateLook();
}
void TURLLabel::SetlabelType(TUrlLabelType Value) {
    FlabelType = Value;
    UpdateLook();
}
void TURLLabel::SetHidePassive(bool Value) {
    FHidePassive = Value;
    UpdateLook();
}

void TURLLabel::Loaded() {
    // Web pages: http, or only when that has none, https. Mail: mailto.
    FHtmlHandlerFound = !DefaultHandlerFor("x-scheme-handler/http").isEmpty() ||
                        !DefaultHandlerFor("x-scheme-handler/https").isEmpty();
    FMailHandlerFound = !DefaultHandlerFor("x-scheme-handler/mailto").isEmpty();
    UpdateLook();
}

TUrlLabelType TURLLabel::DetectedType(const QString& Address) {
    if (Address.isEmpty()) return ultHTML;
    if (Address.contains(QLatin1String("http:"))) return ultHTML;
    if (Address.contains(QLatin1String("www."))) return ultHTML;
    if (Address.contains('@')) return ultMAIL;
    return ultHTML;
}

TUrlLabelType TURLLabel::EffectiveType() const {
    return FlabelType == ultAUTO ? DetectedType(FInetAddr) : FlabelType;
}

bool TURLLabel::IsActive() const {
    if (FInetAddr.isEmpty()) return false;
    TUrlLabelType type = EffectiveType();
    return (FHtmlHandlerFound && type == ultHTML) || (FMailHandlerFound && type == ultMAIL);
}

QString TURLLabel::Target() const {
    const QString scheme = EffectiveType() == ultMAIL ? QStringLiteral("mailto:") : QStringLiteral("http://");
    if (FInetAddr.left(7).compare(scheme, Qt::CaseInsensitive) == 0) return FInetAddr;
    return scheme + FInetAddr;
}

void TURLLabel::UpdateLook() {
    if (IsActive()) {
        QFont f = FLinkFont;
        setFont(f);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        setPalette(p);
        setCursor(Qt::PointingHandCursor);
        setVisible(true);
    } else {
        setFont(FPassiveFont);
        setPalette(QPalette());
        unsetCursor();
        if (FHidePassive) setVisible(false);
    }
}

void TURLLabel::Click() {
    emit clicked();
    if (!isHidden() && IsActive()) ShellOpen(QUrl(Target(), QUrl::TolerantMode)); // outcome ignored
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* Event) {
    QLabel::mouseReleaseEvent(Event);
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) Click();
}

} // namespace znx::editor
