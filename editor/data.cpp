#include "editor/data.h"

#include <exception>

#include "editor/ConnEdit.h"
#include "editor/Dialogs.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace znx::editor {
namespace {

TMainData* g_mainData = nullptr;

// The presence keys of the two server products and the editor's own value.
constexpr const char* KastelanKey = "SOFTWARE\\ZNX\\KastlSrv";
constexpr const char* KoralKey = "SOFTWARE\\ZNX\\KorlSrv";
constexpr const char* ZnxKey = "Software\\ZNX";
constexpr const char* PlanoraKey = "Software\\ZNX\\Planora";
constexpr const char* AdoStringValue = "ADOString";

// The server product counts as installed when one of its keys opens with
// full access; neither key is ever created.
bool ServerProductKeyFound() {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    bool found = reg.OpenKey(KastelanKey, false);
    if (!found) found = reg.OpenKey(KoralKey, false);
    reg.CloseKey();
    return found;
}

} // namespace

TMainData::TMainData() { DBse.DefaultDatabase = "master"; }

bool TMainData::PrepareConnection(bool ForceEditor) {
    DBse.Close();
    if (!ServerProductKeyFound()) return false;

    TRegistry reg(KEY_ALL_ACCESS); // HKEY_CURRENT_USER
    reg.OpenKey(ZnxKey, true);
    reg.CloseKey();
    std::string value;
    if (reg.OpenKey(PlanoraKey, false)) value = reg.ReadString(AdoStringValue);
    reg.CloseKey();

    if (ForceEditor || value.empty()) {
        value = FromQ(EditConnectionString(ToQ(value)));
        // Written after every showing, also when the dialog was cancelled.
        if (!reg.OpenKey(PlanoraKey, true))
            throw Error(FromQ(QString::fromUtf8("Nelze zapsat nastavení do registru (klíč \"%1\")")
                                  .arg(QString::fromLatin1(PlanoraKey))));
        reg.WriteString(AdoStringValue, value);
        reg.CloseKey();
    }
    DBse.ConnectionString = value;
    return true;
}

void TMainData::LoadCatalogs(QStringList* List) {
    if (!List) return;
    bool failed = false;
    QString failure;
    try {
        List->clear();
        for (const std::string& name : DBse.ListCatalogs()) List->append(ToQ(name));
    } catch (const std::exception& e) {
        failed = true;
        failure = ToQ(e.what());
    }
    try {
        DBse.Close();
    } catch (const std::exception& e) {
        if (!failed) failure = ToQ(e.what());
        failed = true;
    }
    if (failed) ShowErrorBox(failure);
}

void TMainData::DataModuleCreate() {
    // An error while preparing the connection is shown, and the editor goes
    // on as if no server product were installed.
    try {
        ServerInstalled = PrepareConnection(false);
    } catch (const std::exception& e) {
        ServerInstalled = false;
        ShowErrorBox(ToQ(e.what()));
        return;
    }
    if (ServerInstalled) {
        Catalogs = std::make_unique<QStringList>();
        LoadCatalogs(Catalogs.get());
    }
}

TMainData* MainData() { return g_mainData; }
void SetMainData(TMainData* Data) { g_mainData = Data; }

} // namespace znx::editor
