#pragma once
// The predefined commands.

#include <QStringList>

namespace znx::editor {

// Shows the list of predefined commands; true when the user chose one, and
// then its lines have been appended to Lines. False leaves Lines untouched.
bool SelectPredefinedSQL(QStringList& Lines);

} // namespace znx::editor
