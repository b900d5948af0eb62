// The editor's small helpers: title, error box, confirmation, plain message,
// text conversion.

#include "editor/Dialogs.h"
#include "ModalDriver.h"
#include "platform/text.h"

#include <QMessageBox>
#include <QtTest>

using namespace znx::editor;

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        driver::CancelAll();
        driver::CloseAllModals();
        driver::Failures().clear();
    }

    void applicationTitle() { QCOMPARE(ApplicationTitle(), QString::fromUtf8("Manažer činností")); }

    void errorBoxAddsFullStop_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QString::fromUtf8("Soubor nelze otevřít") << QString::fromUtf8("Soubor nelze otevřít.");
        QTest::newRow("already") << QStringLiteral("Timeout expired.") << QStringLiteral("Timeout expired.");
        QTest::newRow("other mark") << QStringLiteral("Hotovo!") << QStringLiteral("Hotovo!.");
        QTest::newRow("trailing blank") << QStringLiteral("Chyba ") << QStringLiteral("Chyba .");
        QTest::newRow("empty") << QString() << QString();
    }
    void errorBoxAddsFullStop() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        auto Seen = std::make_shared<driver::BoxSeen>();
        driver::AnswerBox(QString::fromLatin1(ErrorBoxName), QStringLiteral("OK"), Seen);
        ShowErrorBox(message);
        DRIVER_CHECK();
        QVERIFY(Seen->Opened);
        QCOMPARE(Seen->Text, shown);
        QCOMPARE(Seen->Title, ApplicationTitle());
        QCOMPARE(Seen->Icon, QMessageBox::Critical);
        QCOMPARE(Seen->Buttons, QStringList{QStringLiteral("OK")});
    }

    void confirmAnswers_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("result");
        QTest::newRow("Yes") << QStringLiteral("yes") << true;
        QTest::newRow("No") << QStringLiteral("no") << false;
        QTest::newRow("Esc") << QStringLiteral("esc") << false;
        QTest::newRow("close box") << QStringLiteral("close") << false;
        QTest::newRow("Enter takes Yes") << QStringLiteral("enter") << true;
    }
    void confirmAnswers() {
        QFETCH(QString, how);
        QFETCH(bool, result);
        auto Seen = std::make_shared<driver::BoxSeen>();
        driver::WhenModal<QMessageBox>(QString::fromLatin1(ConfirmBoxName), [how, Seen](QMessageBox* Box) {
            Seen->Opened = true;
            Seen->Title = Box->windowTitle();
            Seen->Text = Box->text();
            Seen->Icon = Box->icon();
            for (QAbstractButton* Button : Box->buttons())
                Seen->Buttons.append(Button->text());
            if (how == QLatin1String("yes"))
                Box->findChild<QAbstractButton*>(QStringLiteral("Yes"))->click();
            else if (how == QLatin1String("no"))
                Box->findChild<QAbstractButton*>(QStringLiteral("No"))->click();
            else if (how == QLatin1String("esc"))
                QTest::keyClick(Box, Qt::Key_Escape);
            else if (how == QLatin1String("enter"))
                QTest::keyClick(Box, Qt::Key_Return);
            else
                Box->close();
        });
        const bool Answer = ConfirmYesNo(QString::fromUtf8("Opravdu chcete smazat definici?"));
        DRIVER_CHECK();
        QCOMPARE(Answer, result);
        QCOMPARE(Seen->Title, QStringLiteral("Confirm"));
        QCOMPARE(Seen->Text, QString::fromUtf8("Opravdu chcete smazat definici?"));
        QCOMPARE(Seen->Icon, QMessageBox::Question);
        QCOMPARE(Seen->Buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    }

    void plainMessage() {
        auto Seen = std::make_shared<driver::BoxSeen>();
        driver::AnswerBox(QString::fromLatin1(PlainMessageBoxName), QStringLiteral("OK"), Seen);
        ShowPlainMessage(QString::fromUtf8("Nemáte vyplněny všechny údaje"));
        DRIVER_CHECK();
        QVERIFY(Seen->Opened);
        QCOMPARE(Seen->Text, QString::fromUtf8("Nemáte vyplněny všechny údaje")); // no full stop added
        QCOMPARE(Seen->Title, ApplicationTitle());
        QCOMPARE(Seen->Icon, QMessageBox::NoIcon);
        QCOMPARE(Seen->Buttons, QStringList{QStringLiteral("OK")});
    }

    void textConversionRoundTrip() {
        const std::string Czech = znx::SysText("Příliš žluťoučký kůň úpěl ďábelské ódy");
        const QString Q = ToQ(Czech);
        QCOMPARE(Q, QString::fromUtf8("Příliš žluťoučký kůň úpěl ďábelské ódy"));
        QCOMPARE(FromQ(Q), Czech);
        QCOMPARE(ToQ(std::string()), QString());
        const std::string WithZero("a\0b", 3);
        QCOMPARE(ToQ(WithZero).size(), 3);
        QCOMPARE(FromQ(ToQ(WithZero)), WithZero);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
