// planora: the editor of the task definition file.
#include <QApplication>
#include <cstdio>
#include <exception>

#include "editor/NastPlan.h"
#include "editor/Resources.h"
#include "editor/data.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    using namespace znx::editor;
    try {
        znx::SetCommandLine(argc, argv);
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("planora"));
        QApplication::setWindowIcon(ProgramIcon());

        // The data module first: it may ask for the connection string
        // before any window exists.
        TMainData data;
        SetMainData(&data);
        data.DataModuleCreate();

        int code;
        {
            TFormNastPlan form;
            form.show();
            code = QApplication::exec();
        }
        SetMainData(nullptr);
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
