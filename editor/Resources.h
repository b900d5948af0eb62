#pragma once
// What the editor's forms share: the bundled images and the forms' font.

#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace znx::editor {

// Registers the bundled images (the editor's library is linked statically).
void InitEditorResources();

// The program's icon (32 × 32).
QIcon ProgramIcon();

// The tool-bar images of 16 × 16 pixels: new document, open folder, delete.
QPixmap NewImage();
QPixmap OpenImage();
QPixmap DeleteImage();

// MS Sans Serif 8 pt where installed, else the desktop's font at 8 pt.
QFont FormFont();

} // namespace znx::editor
