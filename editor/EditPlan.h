#pragma once
// The task editor dialog.

#include <QString>
#include <QStringList>

namespace znx::editor {

// Shows the dialog for one task; true when it was closed with OK, and then
// the five values hold the user's input. On false none of them is changed.
bool ExecuteEditPlan(QString& TaskName, QString& TypeKeyword, QStringList& SqlLines, int& Timeout,
                     QStringList& Targets);

} // namespace znx::editor
