#pragma once
// Helpers of the editor's Qt tests: temporary folders with task files, and a
// driver that answers the modal boxes a command opens.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

namespace znx::editor::test {

inline QString Cz(const char* utf8) { return QString::fromUtf8(utf8); }

// Writes the text with CR LF line ends, as the editor writes its files.
inline void WriteText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n");
    bytes.replace("\n", "\r\n");
    file.write(bytes);
}

inline QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

// Every visible text of a box: a message box's text, else its labels.
inline QString BoxText(QWidget* box) {
    if (auto* mb = qobject_cast<QMessageBox*>(box)) return mb->text();
    QStringList parts;
    for (QLabel* label : box->findChildren<QLabel*>())
        if (!label->text().isEmpty()) parts << label->text();
    return parts.join('\n');
}

// The box's button with exactly this text; else one whose text without
// its accelerator mark is this text ("OK" finds "&OK"); else null.
inline QAbstractButton* ButtonWithText(QWidget* box, const QString& text) {
    const QList<QAbstractButton*> buttons = box->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons)
        if (b->text() == text) return b;
    if (!text.contains('&'))
        for (QAbstractButton* b : buttons)
            if (QString(b->text()).remove('&') == text) return b;
    return nullptr;
}

// Sends one character as a key event carrying its text (keyClicks aborts on
// non-ASCII text in this Qt).
inline void TypeText(QWidget* target, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

// Answers modal widgets in the order they appear. Each step gets the modal
// widget (its caption, text and buttons can be checked) and must close it.
// A modal widget that appears when no step is left is recorded and
// rejected, so a test never hangs on an unexpected box.
class ModalDriver {
public:
    using Step = std::function<void(QWidget*)>;

    ModalDriver() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ~ModalDriver() { timer_.stop(); }

    void Then(Step step) { steps_.push_back(std::move(step)); }

    int Seen() const { return seen_; }
    int Unexpected() const { return unexpected_.size(); }
    const QStringList& UnexpectedTexts() const { return unexpected_; }
    bool AllDone() const { return steps_.empty(); }
    // Titles and texts of every box seen, in order.
    const QStringList& Titles() const { return titles_; }
    const QStringList& Texts() const { return texts_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == handled_) return;
        handled_ = modal;
        ++seen_;
        titles_ << modal->windowTitle();
        texts_ << BoxText(modal);
        if (steps_.empty()) {
            unexpected_ << modal->windowTitle() + ": " + BoxText(modal);
            QTimer::singleShot(0, modal, [w = QPointer<QWidget>(modal)] {
                if (!w) return;
                if (auto* d = qobject_cast<QDialog*>(w.data())) d->reject();
                else w->close();
            });
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        QTimer::singleShot(0, modal, [step, w = QPointer<QWidget>(modal)] {
            if (w) step(w.data());
        });
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QWidget> handled_;
    int seen_ = 0;
    QStringList unexpected_, titles_, texts_;
};

// Steps that close a box.
inline ModalDriver::Step ClickButton(const QString& text) {
    return [text](QWidget* box) {
        QAbstractButton* b = ButtonWithText(box, text);
        if (!b) {
            qWarning("no button \"%s\" in \"%s\"", qPrintable(text), qPrintable(box->windowTitle()));
            if (auto* d = qobject_cast<QDialog*>(box)) d->reject();
            return;
        }
        b->click();
    };
}
inline ModalDriver::Step PressKey(Qt::Key key) {
    return [key](QWidget* box) { QTest::keyClick(box, key); };
}
inline ModalDriver::Step ClickNamed(const char* objectName) {
    return [objectName](QWidget* box) {
        auto* b = box->findChild<QAbstractButton*>(QString::fromLatin1(objectName));
        if (!b) {
            qWarning("no button %s", objectName);
            if (auto* d = qobject_cast<QDialog*>(box)) d->reject();
            return;
        }
        b->click();
    };
}

} // namespace znx::editor::test
