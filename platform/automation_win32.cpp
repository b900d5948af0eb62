// Automation on Windows: COM late binding. The class is found by its ProgID
// in the registry, created in or out of process, and driven through
// IDispatch: each member looked up by name (GetIDsOfNames) and invoked as a
// method with positional arguments (VT_BSTR, VT_BSTR | VT_BYREF, VT_BOOL).
// The caller's thread has COM initialised (TProcessSetUp in the programs).
#include "automation.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#undef DeleteFile

#include <cstdio>
#include <vector>

#include "error.h"
#include "files.h"
#include "text.h"

namespace znx {
namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(BSTR text) {
    if (!text) return {};
    const UINT chars = SysStringLen(text);
    if (chars == 0) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
    return out;
}

BSTR AllocBstr(const std::string& text) {
    const std::wstring w = Wide(text);
    BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    if (!b) throw Error(SysText("Out of memory"));
    return b;
}

// The text of a COM failure. The system's own where it has one; the usual
// texts of the failures late binding meets otherwise.
std::string OleErrorText(HRESULT hr) {
    std::string text = SysErrorMessage(static_cast<int>(hr));
    if (!text.empty() && text.rfind("System error", 0) != 0) return text;
    switch (hr) {
    case CO_E_CLASSSTRING: return SysText("Invalid class string");
    case REGDB_E_CLASSNOTREG: return SysText("Class not registered");
    case DISP_E_UNKNOWNNAME: return SysText("Unknown name");
    case DISP_E_BADPARAMCOUNT: return SysText("Invalid number of parameters");
    case DISP_E_TYPEMISMATCH: return SysText("Type mismatch");
    case E_NOINTERFACE: return SysText("No such interface supported");
    case CO_E_NOTINITIALIZED: return SysText("CoInitialize has not been called");
    default: break;
    }
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    return Format("OLE error %s", code);
}

class TDispatchObject : public TAutomationObject {
public:
    TDispatchObject(std::string progId, IDispatch* dispatch) : FProgId(std::move(progId)), FDispatch(dispatch) {}
    ~TDispatchObject() override {
        if (FDispatch) FDispatch->Release();
    }

    void Invoke(const std::string& Member, TAutomationArgs& Args) override {
        std::wstring name = Wide(Member);
        LPOLESTR names[] = {name.data()};
        DISPID id = 0;
        HRESULT hr = FDispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr))
            throw Error(Format(SysText("Method '%s' not supported by automation object"), Member));

        // Arguments go in reverse order; by-reference strings point at BSTRs
        // of ours that are read back after the call.
        const size_t n = Args.size();
        std::vector<VARIANTARG> vars(n);
        std::vector<BSTR> refs(n, nullptr);
        struct Cleanup {
            std::vector<VARIANTARG>& v;
            std::vector<BSTR>& r;
            ~Cleanup() {
                for (VARIANTARG& x : v)
                    if (x.vt == VT_BSTR) SysFreeString(x.bstrVal);
                for (BSTR b : r) SysFreeString(b);
            }
        } cleanup{vars, refs};
        for (size_t i = 0; i < n; ++i) {
            VARIANTARG& v = vars[n - 1 - i];
            VariantInit(&v);
            const TAutomationArg& a = Args[i];
            switch (a.Kind()) {
            case TAutomationArg::akString:
                v.vt = VT_BSTR;
                v.bstrVal = AllocBstr(a.Text());
                break;
            case TAutomationArg::akStringRef:
                refs[i] = AllocBstr(a.Text());
                v.vt = VT_BSTR | VT_BYREF;
                v.pbstrVal = &refs[i];
                break;
            case TAutomationArg::akBool:
                v.vt = VT_BOOL;
                v.boolVal = a.BoolValue() ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            }
        }
        DISPPARAMS params{n ? vars.data() : nullptr, nullptr, static_cast<UINT>(n), 0};
        EXCEPINFO excep{};
        UINT argErr = 0;
        hr = FDispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &excep, &argErr);
        if (hr == DISP_E_EXCEPTION) {
            if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
            std::string text = Narrow(excep.bstrDescription);
            const HRESULT code = excep.scode ? excep.scode : static_cast<HRESULT>(excep.wCode);
            SysFreeString(excep.bstrSource);
            SysFreeString(excep.bstrDescription);
            SysFreeString(excep.bstrHelpFile);
            throw Error(text.empty() ? OleErrorText(code) : text);
        }
        if (FAILED(hr)) throw Error(Format(SysText("%s: %s"), Member, OleErrorText(hr)));
        for (size_t i = 0; i < n; ++i)
            if (Args[i].Kind() == TAutomationArg::akStringRef) Args[i].Assign(Narrow(refs[i]));
    }

private:
    std::string FProgId;
    IDispatch* FDispatch;
};

} // namespace

std::string ComponentModuleName(const std::string& ProgId) {
    return ComponentBaseName(ProgId) + ".dll";
}

// COM finds a class through its registration, not through folders.
std::vector<std::string> ComponentFolders() { return {}; }

std::unique_ptr<TAutomationObject> CreateOleObject(const std::string& ProgId) {
    const std::wstring progId = Wide(ProgId);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) throw Error(Format(SysText("%s: \"%s\""), OleErrorText(hr), ProgId));
    IDispatch* dispatch = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr) || !dispatch) throw Error(Format(SysText("%s: \"%s\""), OleErrorText(hr), ProgId));
    return std::make_unique<TDispatchObject>(ProgId, dispatch);
}

} // namespace znx
