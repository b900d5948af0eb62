#pragma once
// The binary interface between a caller and a component module on systems
// without COM (see platform/automation.h). It is plain C so that nothing of
// either side's C++ runtime crosses it: no exceptions, no allocations freed
// on the other side. Errors come back as a status and a text handed to the
// caller's error sink.
//
// A module exports
//     int znx_create_object(const char* progId, znx_object* out, const znx_host* host);
// which fills *out with a new object of the class and returns ZNX_S_OK, or
// returns ZNX_E_CLASSNOTREG when the module does not provide that class.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZNX_AUTOMATION_ABI 1u
#define ZNX_CREATE_OBJECT_SYMBOL "znx_create_object"

/* Argument types, numbered as the automation variant types. */
enum { ZNX_VT_BSTR = 8, ZNX_VT_BOOL = 11, ZNX_VT_BYREF = 0x4000 };
/* Boolean values as automation passes them. */
enum { ZNX_VARIANT_TRUE = -1, ZNX_VARIANT_FALSE = 0 };

/* Status of a call. */
enum {
    ZNX_S_OK = 0,
    ZNX_E_UNKNOWNNAME = 1,    /* no member of that name */
    ZNX_E_BADPARAMCOUNT = 2,  /* wrong number of arguments */
    ZNX_E_TYPEMISMATCH = 3,   /* an argument of the wrong type */
    ZNX_E_EXCEPTION = 4,      /* the member failed; the text went to set_error */
    ZNX_E_CLASSNOTREG = 5,    /* the module has no class of that ProgID */
    ZNX_E_ABI = 6             /* the caller speaks another version of this interface */
};

typedef struct znx_variant {
    uint16_t vt;       /* ZNX_VT_BSTR or ZNX_VT_BOOL, ZNX_VT_BYREF added for a reference */
    int16_t boolVal;   /* ZNX_VT_BOOL: ZNX_VARIANT_TRUE or ZNX_VARIANT_FALSE */
    const char* str;   /* ZNX_VT_BSTR: the text (8-bit, system code page) */
    size_t len;        /*   and its length in bytes */
    void* ref;         /* ZNX_VT_BSTR | ZNX_VT_BYREF: the caller's variable for assign_string */
} znx_variant;

/* Services of the caller, valid for the length of one call. */
typedef struct znx_host {
    uint32_t abi;  /* ZNX_AUTOMATION_ABI */
    void* ctx;
    /* The text of a failure (ZNX_E_EXCEPTION); copied by the caller. */
    void (*set_error)(void* ctx, const char* text, size_t len);
    /* Assigns to a by-reference string argument; copied by the caller. */
    void (*assign_string)(void* ref, const char* text, size_t len);
} znx_host;

typedef struct znx_object {
    void* self;
    /* Invokes the member (name compared without regard to letter case) with
       the arguments in positional order. */
    int (*invoke)(void* self, const char* member, znx_variant* args, uint32_t argc,
                  const znx_host* host);
    /* Releases the object; it is not used afterwards. */
    void (*release)(void* self);
} znx_object;

typedef int (*znx_create_object_fn)(const char* progId, znx_object* out, const znx_host* host);

#ifdef __cplusplus
} /* extern "C" */

#include <exception>
#include <memory>
#include <string>

#include "platform/automation.h"
#include "platform/error.h"

namespace znx::module {

// Component side: hands a C++ object out through the C table. Its Invoke
// gets the arguments as TAutomationArgs; an Error it raises becomes
// ZNX_E_EXCEPTION with the message, and TAutomationMemberError its status.
class TAutomationMemberError : public Error {
public:
    TAutomationMemberError(int status, const std::string& member)
        : Error(member), FStatus(status) {}
    int Status() const { return FStatus; }

private:
    int FStatus;
};

inline void ReportError(const znx_host* host, const std::string& text) {
    if (host && host->set_error) host->set_error(host->ctx, text.data(), text.size());
}

inline int InvokeObject(void* self, const char* member, znx_variant* args, uint32_t argc,
                        const znx_host* host) {
    if (!host || host->abi != ZNX_AUTOMATION_ABI) return ZNX_E_ABI;
    try {
        TAutomationArgs list;
        std::vector<std::string> refs(argc);
        list.reserve(argc);
        for (uint32_t i = 0; i < argc; ++i) {
            const znx_variant& v = args[i];
            switch (v.vt) {
            case ZNX_VT_BSTR:
                list.push_back(TAutomationArg::String(v.str ? std::string(v.str, v.len) : std::string()));
                break;
            case ZNX_VT_BSTR | ZNX_VT_BYREF:
                if (v.str) refs[i].assign(v.str, v.len);
                list.push_back(TAutomationArg::StringRef(refs[i]));
                break;
            case ZNX_VT_BOOL:
                list.push_back(TAutomationArg::Bool(v.boolVal != ZNX_VARIANT_FALSE));
                break;
            default:
                return ZNX_E_TYPEMISMATCH;
            }
        }
        static_cast<TAutomationObject*>(self)->Invoke(member ? member : "", list);
        for (uint32_t i = 0; i < argc; ++i)
            if (args[i].vt == (ZNX_VT_BSTR | ZNX_VT_BYREF) && host->assign_string)
                host->assign_string(args[i].ref, refs[i].data(), refs[i].size());
        return ZNX_S_OK;
    } catch (const TAutomationMemberError& e) {
        return e.Status();
    } catch (const std::exception& e) {
        ReportError(host, e.what());
        return ZNX_E_EXCEPTION;
    } catch (...) {
        ReportError(host, "Unknown failure in the component");
        return ZNX_E_EXCEPTION;
    }
}

inline void ReleaseObject(void* self) { delete static_cast<TAutomationObject*>(self); }

inline void Export(std::unique_ptr<TAutomationObject> object, znx_object* out) {
    out->self = object.release();
    out->invoke = &InvokeObject;
    out->release = &ReleaseObject;
}

} // namespace znx::module
#endif
