#include "automation.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "automation_module.h"
#include "error.h"
#include "process.h"
#include "text.h"

#ifndef ZNX_COMPONENT_INSTALL_DIR
#define ZNX_COMPONENT_INSTALL_DIR "/usr/local/lib/znx"
#endif

namespace znx {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string NotRegistered(const std::string& progId, const std::string& reason) {
    return Format(SysText("Class not registered: \"%s\" (%s)"), progId, reason);
}

// Loaded modules stay loaded for the life of the process, as an in-process
// server stays loaded until the process ends its use of automation.
znx_create_object_fn LoadFactory(const std::string& progId) {
    static std::mutex lock;
    static std::map<std::string, znx_create_object_fn> factories;

    const std::string module = ComponentModuleName(progId);
    const std::vector<std::string> folders = ComponentFolders();
    std::string path;
    for (const std::string& folder : folders) {
        std::string candidate = folder.empty() || folder.back() == '/' ? folder + module : folder + "/" + module;
        if (IsRegularFile(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.empty()) {
        std::string where;
        for (const std::string& f : folders) where += (where.empty() ? "" : ", ") + f;
        throw Error(NotRegistered(progId, Format(SysText("module %s not found in %s"), module, where)));
    }

    std::lock_guard<std::mutex> guard(lock);
    auto found = factories.find(path);
    if (found != factories.end()) return found->second;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        throw Error(NotRegistered(progId, why ? why : path));
    }
    void* symbol = ::dlsym(handle, ZNX_CREATE_OBJECT_SYMBOL);
    if (!symbol) {
        ::dlclose(handle);
        throw Error(NotRegistered(progId, Format(SysText("%s exports no %s"), path, ZNX_CREATE_OBJECT_SYMBOL)));
    }
    auto factory = reinterpret_cast<znx_create_object_fn>(symbol);
    factories.emplace(path, factory);
    return factory;
}

struct THostContext {
    std::string error;
};

void SetError(void* ctx, const char* text, size_t len) {
    static_cast<THostContext*>(ctx)->error.assign(text ? text : "", len);
}

void AssignString(void* ref, const char* text, size_t len) {
    static_cast<TAutomationArg*>(ref)->Assign(std::string(text ? text : "", len));
}

znx_host MakeHost(THostContext& ctx) {
    znx_host host{};
    host.abi = ZNX_AUTOMATION_ABI;
    host.ctx = &ctx;
    host.set_error = &SetError;
    host.assign_string = &AssignString;
    return host;
}

// An object of a component module, reached through its C table.
class TModuleObject : public TAutomationObject {
public:
    TModuleObject(std::string progId, znx_object object) : FProgId(std::move(progId)), FObject(object) {}
    ~TModuleObject() override {
        if (FObject.release) FObject.release(FObject.self);
    }

    void Invoke(const std::string& Member, TAutomationArgs& Args) override {
        std::vector<znx_variant> vars(Args.size());
        for (size_t i = 0; i < Args.size(); ++i) {
            znx_variant& v = vars[i];
            TAutomationArg& a = Args[i];
            switch (a.Kind()) {
            case TAutomationArg::akBool:
                v.vt = ZNX_VT_BOOL;
                v.boolVal = a.BoolValue() ? ZNX_VARIANT_TRUE : ZNX_VARIANT_FALSE;
                break;
            case TAutomationArg::akString:
                v.vt = ZNX_VT_BSTR;
                v.str = a.Text().data();
                v.len = a.Text().size();
                break;
            case TAutomationArg::akStringRef:
                v.vt = ZNX_VT_BSTR | ZNX_VT_BYREF;
                v.str = a.Text().data();
                v.len = a.Text().size();
                v.ref = &a;
                break;
            }
        }
        THostContext ctx;
        znx_host host = MakeHost(ctx);
        const int status = FObject.invoke(FObject.self, Member.c_str(), vars.data(),
                                          static_cast<uint32_t>(vars.size()), &host);
        switch (status) {
        case ZNX_S_OK:
            return;
        case ZNX_E_UNKNOWNNAME:
            throw Error(Format(SysText("Method \"%s\" not supported by automation object \"%s\""), Member, FProgId));
        case ZNX_E_BADPARAMCOUNT:
            throw Error(Format(SysText("Invalid number of parameters for \"%s\" of \"%s\""), Member, FProgId));
        case ZNX_E_TYPEMISMATCH:
            throw Error(Format(SysText("Type mismatch in the parameters of \"%s\" of \"%s\""), Member, FProgId));
        case ZNX_E_EXCEPTION:
            throw Error(ctx.error.empty()
                            ? Format(SysText("\"%s\" of \"%s\" failed"), Member, FProgId)
                            : ctx.error);
        default:
            throw Error(Format(SysText("\"%s\" of \"%s\" failed with status %d"), Member, FProgId, status));
        }
    }

private:
    std::string FProgId;
    znx_object FObject;
};

} // namespace

std::string ComponentModuleName(const std::string& ProgId) {
    return ComponentBaseName(ProgId) + ".so";
}

std::vector<std::string> ComponentFolders() {
    const char* env = std::getenv("ZNX_COMPONENT_DIR");
    if (env && *env) return {env};
    std::vector<std::string> folders;
    try {
        folders.push_back(ExtractFileDir(ExecutablePath()));
    } catch (const Error&) {
        // no executable folder: the installed folder only
    }
    folders.emplace_back(ZNX_COMPONENT_INSTALL_DIR);
    return folders;
}

std::unique_ptr<TAutomationObject> CreateOleObject(const std::string& ProgId) {
    znx_create_object_fn factory = LoadFactory(ProgId);
    THostContext ctx;
    znx_host host = MakeHost(ctx);
    znx_object object{};
    const int status = factory(ProgId.c_str(), &object, &host);
    if (status == ZNX_E_CLASSNOTREG)
        throw Error(NotRegistered(ProgId, SysText("the module does not provide this class")));
    if (status != ZNX_S_OK || !object.invoke || !object.release) {
        if (status == ZNX_S_OK && object.release) object.release(object.self);
        throw Error(ctx.error.empty() ? Format(SysText("Cannot create an object of \"%s\" (status %d)"), ProgId, status)
                                      : ctx.error);
    }
    return std::make_unique<TModuleObject>(ProgId, object);
}

} // namespace znx
