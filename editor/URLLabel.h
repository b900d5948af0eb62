#pragma once
// TURLLabel: a label that shows a web or mail address as a link, but only
// when the desktop has a program registered to open such links; otherwise it
// is plain text (or hidden, with HidePassive) and a click does nothing.

#include <QFont>
#include <QLabel>
#include <QString>

namespace znx::editor {

enum TUrlLabelType { ultAUTO = 0, ultHTML = 1, ultMAIL = 2 };

class TURLLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QFont LinkFont READ LinkFont WRITE SetLinkFont)
    Q_PROPERTY(QFont PassiveFont READ PassiveFont WRITE SetPassiveFont)
    Q_PROPERTY(bool HidePassive READ HidePassive WRITE SetHidePassive)
    Q_PROPERTY(QString InetAddr READ InetAddr WRITE SetInetAddr)

public:
    explicit TURLLabel(QWidget* Owner = nullptr);
    ~TURLLabel() override;

    QFont LinkFont() const { return FLinkFont; }
    QFont PassiveFont() const { return FPassiveFont; }
    // Copies the font; the look follows at the next UpdateLook.
    void SetLinkFont(const QFont& Font) { FLinkFont = Font; }
    void SetPassiveFont(const QFont& Font) { FPassiveFont = Font; }

    QString InetAddr() const { return FInetAddr; }
    void SetInetAddr(const QString& Value);
    TUrlLabelType labelType() const { return FlabelType; }
    void SetlabelType(TUrlLabelType Value);
    bool HidePassive() const { return FHidePassive; }
    void SetHidePassive(bool Value);

    bool HtmlHandlerFound() const { return FHtmlHandlerFound; }
    bool MailHandlerFound() const { return FMailHandlerFound; }

    // Called by the form once it has set the control's properties: detects
    // the registered handlers, then updates the look.
    void Loaded();

    // The kind of the address when labelType is ultAUTO.
    static TUrlLabelType DetectedType(const QString& Address);
    TUrlLabelType EffectiveType() const;
    bool IsActive() const;
    // What a click opens: the address with "http://" or "mailto:" in front
    // unless it already begins with it.
    QString Target() const;
    void UpdateLook();

    // Runs the click: the clicked() signal first, then the opening.
    void Click();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    QFont FLinkFont;
    QFont FPassiveFont;
    QString FInetAddr;
    bool FHtmlHandlerFound = false;
    bool FMailHandlerFound = false;
    TUrlLabelType FlabelType = ultHTML;
    bool FHidePassive = false;
};

} // namespace znx::editor
