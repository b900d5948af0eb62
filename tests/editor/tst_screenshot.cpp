// Renders the editor's dialogs as they are shown to the user. With
// ZNX_SCREENSHOT_DIR set the pictures are written there as PNG files
// (scripts/screenshot-dialog does that under Xvfb).

#include "editor/EditPlan.h"
#include "editor/PrednSQL.h"
#include "editor/data.h"

#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QtTest>

using namespace znx::editor;

class TestScreenshot : public QObject {
    Q_OBJECT

    TMainData Data;

    // Grabs the shown widget; the picture has the dialog's size and is not
    // a single colour.
    void Save(QWidget& Form, const QString& Name) {
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QTest::qWait(200);
        const QImage Picture = Form.grab().toImage();
        QCOMPARE(Picture.size() / Picture.devicePixelRatio(), Form.size());
        const QRgb Corner = Picture.pixel(Picture.width() / 2, Picture.height() / 2);
        bool Varied = false;
        for (int Y = 0; Y < Picture.height() && !Varied; Y += 7)
            for (int X = 0; X < Picture.width() && !Varied; X += 7)
                Varied = Picture.pixel(X, Y) != Corner;
        QVERIFY(Varied);
        const QString Folder = qEnvironmentVariable("ZNX_SCREENSHOT_DIR");
        if (!Folder.isEmpty()) {
            QDir().mkpath(Folder);
            QVERIFY(Picture.save(QDir(Folder).filePath(Name)));
        }
    }

private slots:
    void initTestCase() {
        Data.ServerInstalled = true;
        Data.Catalogs = std::make_unique<QStringList>(
            QStringList{QStringLiteral("master"), QStringLiteral("Koral_2024"), QStringLiteral("Kuryr")});
        SetMainData(&Data);
    }

    void editPlanDatabases() {
        TFormEditPlan Form;
        Form.EditNazev->setText(QString::fromUtf8("Záloha Koral"));
        QStringList Lines = PredefinedSQLLines(0);
        Lines << QStringLiteral("-- denni zaloha, 'text' 42 + 1");
        Form.SetSqlLines(Lines);
        Form.ListBoxCatalog->addItems({QStringLiteral("Koral_2024"), QStringLiteral("Kuryr")});
        Form.TimeoutEdit->setText(QStringLiteral("600"));
        Save(Form, QStringLiteral("editplan.png"));
    }

    void editPlanFolders() {
        TFormEditPlan Form;
        Form.EditNazev->setText(QString::fromUtf8("Záloha dat"));
        Form.SetSqlLines(PredefinedSQLLines(1));
        Form.ComboProgram->setCurrentIndex(3);
        Form.EditData->setText(QStringLiteral("/srv/data/PX"));
        Form.ListBoxCatalog->addItems({QStringLiteral("/srv/data/PX"), QStringLiteral("/srv/data/SHARED")});
        Form.TimeoutEdit->setText(QStringLiteral("0"));
        Save(Form, QStringLiteral("editplan-folders.png"));
    }

    void editPlanBulk() {
        TFormEditPlan Form;
        Form.EditNazev->setText(QString::fromUtf8("Hromadná záloha"));
        Form.SetSqlLines(PredefinedSQLLines(5));
        Form.ComboProgram->setCurrentIndex(4);
        Save(Form, QStringLiteral("editplan-bulk.png"));
    }

    void prednSql() {
        TFormPrednSQL Form;
        Save(Form, QStringLiteral("prednsql.png"));
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
