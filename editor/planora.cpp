// planora: the editor of the task definition file.
#include <QApplication>
#include <cstdio>
#include <exception>

#include "editor/Dialogs.h"
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

        int code = 1;
        try {
            TFormNastPlan form;
            form.show();
            code = QApplication::exec();
        } catch (const std::exception& e) {
            // The task file cannot be read: said so, and the editor ends
            // rather than start with an empty list that would replace it.
            ShowErrorBox(ToQ(e.what()));
        }
        SetMainData(nullptr);
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
