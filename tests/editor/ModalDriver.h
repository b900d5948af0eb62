#pragma once
// Drives the editor's modal dialogs from a Qt Test: a step waits until a
// modal window of a given object name is the active modal widget and then
// acts on it (fills fields, presses buttons). A step that never finds its
// window fails the test and closes every open modal window, so that a test
// never hangs.

#include <QApplication>
#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace driver {

// Every modal window still open, innermost first, is rejected.
inline void CloseAllModals() {
    for (int Guard = 0; Guard < 16; ++Guard) {
        QWidget* Modal = QApplication::activeModalWidget();
        if (!Modal)
            return;
        if (auto* Dialog = qobject_cast<QDialog*>(Modal))
            Dialog->reject();
        else
            Modal->close();
        QApplication::processEvents();
    }
}

inline QStringList& Failures() {
    static QStringList List;
    return List;
}

inline QList<QPointer<QTimer>>& Pending() {
    static QList<QPointer<QTimer>> List;
    return List;
}

// Drops every step still waiting (a test's cleanup), so that none of them
// acts on the windows of the next test.
inline void CancelAll() {
    for (const QPointer<QTimer>& Timer : Pending())
        if (Timer) {
            Timer->stop();
            Timer->deleteLater();
        }
    Pending().clear();
}

// Runs Body once with the active modal window named Name, as soon as it is open.
template <typename T = QWidget>
void WhenModal(const QString& Name, std::function<void(T*)> Body, int TimeoutMs = 5000) {
    auto* Timer = new QTimer(qApp);
    Pending().append(Timer);
    auto Started = std::make_shared<QElapsedTimer>();
    Started->start();
    Timer->setInterval(10);
    // The window must be the active modal one on two ticks in a row: a nested
    // dialog that has just closed may still be unwinding its own event loop.
    auto Ticks = std::make_shared<int>(0);
    QObject::connect(Timer, &QTimer::timeout, [Timer, Started, Ticks, Name, Body, TimeoutMs] {
        QWidget* Modal = QApplication::activeModalWidget();
        const bool Match = Modal && Modal->isVisible() && Modal->objectName() == Name;
        *Ticks = Match ? *Ticks + 1 : 0;
        if (Match && *Ticks >= 2) {
            Timer->stop();
            Timer->deleteLater();
            T* Typed = qobject_cast<T*>(Modal);
            if (!Typed) {
                Failures().append(QStringLiteral("window %1 has an unexpected class").arg(Name));
                CloseAllModals();
                return;
            }
            // The window must be gone in time after its step, else the step failed.
            QPointer<QWidget> Window(Modal);
            QTimer::singleShot(TimeoutMs, qApp, [Window, Name] {
                if (Window && Window->isVisible()) {
                    Failures().append(QStringLiteral("window %1 stayed open").arg(Name));
                    CloseAllModals();
                }
            });
            Body(Typed);
            return;
        }
        if (Started->elapsed() > TimeoutMs) {
            Timer->stop();
            Timer->deleteLater();
            Failures().append(QStringLiteral("window %1 did not open (active modal: %2)")
                                  .arg(Name, Modal ? Modal->objectName() : QStringLiteral("none")));
            CloseAllModals();
        }
    });
    Timer->start();
}

template <typename T> T* Child(QWidget* Parent, const char* Name) {
    T* Found = Parent->findChild<T*>(QString::fromLatin1(Name));
    if (!Found)
        Failures().append(QStringLiteral("no control %1 in %2").arg(QString::fromLatin1(Name), Parent->objectName()));
    return Found;
}

// Types text into a widget one character at a time, each as a key event that
// carries its text (works for letters outside ASCII too).
inline void TypeText(QWidget* Target, const QString& Text) {
    for (const QChar Char : Text) {
        const int Key = Char.unicode() < 128 ? QChar(Char).toUpper().unicode() : Qt::Key_unknown;
        QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier, QString(Char));
        QApplication::sendEvent(Target, &Press);
        QKeyEvent Release(QEvent::KeyRelease, Key, Qt::NoModifier, QString(Char));
        QApplication::sendEvent(Target, &Release);
    }
}

inline void PressKey(QWidget* Target, Qt::Key Key) {
    QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier);
    QApplication::sendEvent(Target, &Press);
    QKeyEvent Release(QEvent::KeyRelease, Key, Qt::NoModifier);
    QApplication::sendEvent(Target, &Release);
}

// Answers the message box named Name with the button of the given text,
// recording what the box showed.
struct BoxSeen {
    bool Opened = false;
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
};

inline void AnswerBox(const QString& Name, const QString& ButtonText, std::shared_ptr<BoxSeen> Seen = {}) {
    WhenModal<QMessageBox>(Name, [ButtonText, Seen](QMessageBox* Box) {
        if (Seen) {
            Seen->Opened = true;
            Seen->Title = Box->windowTitle();
            Seen->Text = Box->text();
            Seen->Icon = Box->icon();
            for (QAbstractButton* Button : Box->buttons())
                Seen->Buttons.append(Button->text());
        }
        for (QAbstractButton* Button : Box->buttons())
            if (Button->text() == ButtonText) {
                Button->click();
                return;
            }
        Failures().append(QStringLiteral("box %1 has no button %2").arg(Box->objectName(), ButtonText));
        CloseAllModals();
    });
}

// Fails the current test when a step went wrong.
#define DRIVER_CHECK()                                                                                       \
    do {                                                                                                     \
        const QStringList Seen_ = driver::Failures();                                                        \
        driver::Failures().clear();                                                                          \
        QVERIFY2(Seen_.isEmpty(), qPrintable(Seen_.join(QStringLiteral("; "))));                            \
    } while (false)

} // namespace driver
