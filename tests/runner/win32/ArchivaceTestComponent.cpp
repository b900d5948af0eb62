// A test automation server for "ZNX.Archivace": an in-process COM object
// whose IDispatch knows the archiver's ten members, checks their argument
// kinds as the real component does, and records every call, one line each,
// in the UTF-8 file named by ZNX_ARCHIVACE_RECORD. Close writes a small file
// at the archive path it was given. ZNX_ARCHIVACE_FAIL names a member that
// fails with an automation exception.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

// {6B1C0E8E-3D7A-4F21-9C55-2E8A1F0B7D31}
const CLSID kClsid = {0x6b1c0e8e, 0x3d7a, 0x4f21, {0x9c, 0x55, 0x2e, 0x8a, 0x1f, 0x0b, 0x7d, 0x31}};

std::atomic<long> g_objects{0};

enum Kind { kNone, kStr, kStrRef, kBool };
struct Member {
    const wchar_t* name;
    Kind arg;
};
const Member kMembers[] = {
    {L"InitParams", kNone},    {L"SetArchiveFile", kStrRef}, {L"AddMask", kStr},          {L"AddExcludeMask", kStr},
    {L"SetStripPath", kBool},  {L"SetStoreFullPath", kBool}, {L"SetFormat83", kBool},     {L"SetRecurseSubDirs", kBool},
    {L"AddToArchive", kNone},  {L"Close", kNone},
};

std::string Utf8(const wchar_t* w, size_t n) {
    if (n == 0) return {};
    const int len = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(n), out.data(), len, nullptr, nullptr);
    return out;
}
std::string Utf8(BSTR b) { return b ? Utf8(b, SysStringLen(b)) : std::string(); }

void Record(const std::string& line) {
    const char* file = std::getenv("ZNX_ARCHIVACE_RECORD");
    if (!file || !*file) return;
    if (FILE* f = std::fopen(file, "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

class Archivace : public IDispatch {
public:
    Archivace() { ++g_objects; }
    virtual ~Archivace() { --g_objects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long n = --refs_;
        if (n == 0) {
            Record("release");
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1) return DISP_E_UNKNOWNNAME;
        for (size_t i = 0; i < sizeof kMembers / sizeof kMembers[0]; ++i)
            if (_wcsicmp(names[0], kMembers[i].name) == 0) {
                ids[0] = static_cast<DISPID>(i + 1);
                return S_OK;
            }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO* excep, UINT* argErr) override {
        if (id < 1 || id > 10) return DISP_E_MEMBERNOTFOUND;
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        const Member& m = kMembers[id - 1];
        const std::string name = Utf8(m.name, std::wcslen(m.name));
        const UINT want = m.arg == kNone ? 0u : 1u;
        if (!params || params->cArgs != want || params->cNamedArgs != 0) return DISP_E_BADPARAMCOUNT;
        std::string line = name + "(";
        if (m.arg != kNone) {
            VARIANTARG& v = params->rgvarg[0];
            const VARTYPE expected = m.arg == kStr ? VT_BSTR : m.arg == kStrRef ? (VT_BSTR | VT_BYREF) : VT_BOOL;
            if (v.vt != expected) {
                if (argErr) *argErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            if (m.arg == kStr) line += "str " + Utf8(v.bstrVal);
            if (m.arg == kBool) line += std::string("bool ") + (v.boolVal == VARIANT_TRUE ? "true" : "false");
            if (m.arg == kStrRef) {
                archive_ = *v.pbstrVal ? std::wstring(*v.pbstrVal, SysStringLen(*v.pbstrVal)) : std::wstring();
                line += "ref " + Utf8(*v.pbstrVal);
                SysFreeString(*v.pbstrVal);
                *v.pbstrVal = SysAllocString(L"value left by the component");
            }
        }
        Record(line + ")");
        const char* fail = std::getenv("ZNX_ARCHIVACE_FAIL");
        if (fail && name == fail) {
            if (excep) {
                *excep = EXCEPINFO{};
                excep->scode = E_FAIL;
                excep->bstrSource = SysAllocString(L"ZNX.Archivace");
                excep->bstrDescription = SysAllocString(L"component failure");
            }
            return DISP_E_EXCEPTION;
        }
        if (id == 10 && !archive_.empty()) { // Close: the archive appears
            HANDLE h = CreateFileW(archive_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteFile(h, "archive", 7, &written, nullptr);
                CloseHandle(h);
            }
        }
        return S_OK;
    }

private:
    std::atomic<long> refs_{1};
    std::wstring archive_;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Archivace* a = new Archivace();
        const HRESULT hr = a->QueryInterface(riid, out);
        a->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, out);
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
