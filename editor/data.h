#pragma once
// The editor's data module: whether a server product is installed, the
// editor's connection string in the user's registry, its one database
// connection and the list of the server's catalogs.

#include <QStringList>
#include <memory>

#include "platform/dataaccess.h"

namespace znx::editor {

class TMainData {
public:
    TMainData();

    // The editor's one database connection: SQL Server, default database
    // "master", never a login prompt. Closed except while LoadCatalogs runs;
    // only PrepareConnection sets its connection string.
    znx::TDataConnection DBse;
    // True when a server product key was found at start-up; never changed after.
    bool ServerInstalled = false;
    // The server's catalog names in the server's order; absent (null) when no
    // server product was found at start-up.
    std::unique_ptr<QStringList> Catalogs;

    // Start-up: the presence check, the connection string, the catalog list.
    void DataModuleCreate();
    // True when a server product key was found; shows the connection-string
    // dialog when forced or when no string is stored, and stores its result.
    bool PrepareConnection(bool ForceEditor);
    // Refills the list with the server's catalog names; errors are shown in
    // the standard error box. Does nothing for a null list.
    void LoadCatalogs(QStringList* List);
};

// The program-wide instance, created before the main window.
TMainData* MainData();
// Installs the program-wide instance (the program at start-up, tests with their own).
void SetMainData(TMainData* Data);

} // namespace znx::editor
