// The component module: offers the class "ZNX.Archivace" to late-bound
// callers through the C entry point of platform/automation_module.h.
#include "archiver/Archivace.h"
#include "platform/automation_module.h"
#include "platform/text.h"

namespace znx {
namespace {

using module::TAutomationMemberError;

// The members of the class, looked up by name without regard to letter case.
class TArchivaceObject : public TAutomationObject {
public:
    void Invoke(const std::string& Member, TAutomationArgs& Args) override {
        if (SameTextAZ(Member, "InitParams")) {
            NoArgs(Member, Args);
            return FImpl.InitParams();
        }
        if (SameTextAZ(Member, "SetArchiveFile")) {
            TAutomationArg& a = StringArg(Member, Args);
            std::string file = a.Text();
            FImpl.SetArchiveFile(file);
            if (a.Kind() == TAutomationArg::akStringRef) a.Assign(file);
            return;
        }
        if (SameTextAZ(Member, "AddMask")) return FImpl.AddMask(StringArg(Member, Args).Text());
        if (SameTextAZ(Member, "AddExcludeMask")) return FImpl.AddExcludeMask(StringArg(Member, Args).Text());
        if (SameTextAZ(Member, "SetStripPath")) return FImpl.SetStripPath(BoolArg(Member, Args));
        if (SameTextAZ(Member, "SetStoreFullPath")) return FImpl.SetStoreFullPath(BoolArg(Member, Args));
        if (SameTextAZ(Member, "SetFormat83")) return FImpl.SetFormat83(BoolArg(Member, Args));
        if (SameTextAZ(Member, "SetRecurseSubDirs")) return FImpl.SetRecurseSubDirs(BoolArg(Member, Args));
        if (SameTextAZ(Member, "AddToArchive")) {
            NoArgs(Member, Args);
            return FImpl.AddToArchive();
        }
        if (SameTextAZ(Member, "Close")) {
            NoArgs(Member, Args);
            return FImpl.Close();
        }
        throw TAutomationMemberError(ZNX_E_UNKNOWNNAME, Member);
    }

private:
    static void NoArgs(const std::string& Member, TAutomationArgs& Args) {
        if (!Args.empty()) throw TAutomationMemberError(ZNX_E_BADPARAMCOUNT, Member);
    }
    static TAutomationArg& StringArg(const std::string& Member, TAutomationArgs& Args) {
        if (Args.size() != 1) throw TAutomationMemberError(ZNX_E_BADPARAMCOUNT, Member);
        if (Args[0].Kind() == TAutomationArg::akBool) throw TAutomationMemberError(ZNX_E_TYPEMISMATCH, Member);
        return Args[0];
    }
    static bool BoolArg(const std::string& Member, TAutomationArgs& Args) {
        if (Args.size() != 1) throw TAutomationMemberError(ZNX_E_BADPARAMCOUNT, Member);
        if (Args[0].Kind() != TAutomationArg::akBool) throw TAutomationMemberError(ZNX_E_TYPEMISMATCH, Member);
        return Args[0].BoolValue();
    }

    TArchivace FImpl;
};

} // namespace
} // namespace znx

extern "C" __attribute__((visibility("default"))) int znx_create_object(const char* progId, znx_object* out,
                                                                        const znx_host* host) {
    if (!host || host->abi != ZNX_AUTOMATION_ABI) return ZNX_E_ABI;
    if (!progId || !out || !znx::SameTextAZ(progId, znx::ArchivaceProgId)) return ZNX_E_CLASSNOTREG;
    try {
        znx::module::Export(std::make_unique<znx::TArchivaceObject>(), out);
        return ZNX_S_OK;
    } catch (const std::exception& e) {
        znx::module::ReportError(host, e.what());
        return ZNX_E_EXCEPTION;
    }
}
