#pragma once
// Automation: objects created at run time from their programmatic identifier
// (ProgID) and driven by late-bound calls, each member looked up by its name
// and invoked with positional arguments.
//
// On Windows this is COM (IDispatch). Elsewhere an automation class lives in
// a component module, a shared library loaded when the first object of the
// class is created; the module exports the C entry point of
// platform/automation_module.h. The caller links nothing of the component.
//
// Every failure (unknown class, module that cannot be loaded, unknown member,
// an error reported by the component) raises znx::Error with a message that
// names what failed.

#include <memory>
#include <string>
#include <vector>

namespace znx {

// One positional argument of a late-bound call: a string (by value or by
// reference, the callee may then assign to it) or a Boolean.
class TAutomationArg {
public:
    enum TKind { akString, akStringRef, akBool };

    static TAutomationArg String(std::string value);
    static TAutomationArg StringRef(std::string& value);
    static TAutomationArg Bool(bool value);

    TKind Kind() const { return FKind; }
    // The string of akString and akStringRef.
    const std::string& Text() const { return FKind == akStringRef ? *FRef : FText; }
    // Assigns to the caller's variable of an akStringRef argument.
    void Assign(const std::string& value);
    bool BoolValue() const { return FBool; }

private:
    TKind FKind = akString;
    std::string FText;
    std::string* FRef = nullptr;
    bool FBool = false;
};
using TAutomationArgs = std::vector<TAutomationArg>;

// A late-bound object; releasing it (destruction) releases the component.
class TAutomationObject {
public:
    virtual ~TAutomationObject() = default;
    TAutomationObject() = default;
    TAutomationObject(const TAutomationObject&) = delete;
    TAutomationObject& operator=(const TAutomationObject&) = delete;

    // Invokes the member as a method with the arguments; no result is asked for.
    virtual void Invoke(const std::string& Member, TAutomationArgs& Args) = 0;
};

// Creates an object of the automation class. Raises Error when the
// identifier is malformed ("Invalid class string"), when no module provides
// the class ("Class not registered"), or when the component refuses.
//
// The module of a class is the ProgID in lower case with "." replaced by "-"
// and the system's module suffix ("ZNX.Archivace" -> "znx-archivace.so"). It
// is looked for in $ZNX_COMPONENT_DIR when that is set, otherwise in the
// folder of the running executable and then in the installed component
// folder (ComponentFolders()).
std::unique_ptr<TAutomationObject> CreateOleObject(const std::string& ProgId);

// The folders CreateOleObject searches, in order.
std::vector<std::string> ComponentFolders();

// The module file name of a class ("znx-archivace.so"); raises Error for a
// malformed identifier.
std::string ComponentModuleName(const std::string& ProgId);
// The checked identifier in lower case with "-" for its dots ("znx-archivace");
// raises "Invalid class string "%s"" for a text that is no identifier.
std::string ComponentBaseName(const std::string& ProgId);

// The archiver component ("ZNX.Archivace"): the ten operations the backup
// action calls, in that order. Each raises Error when the component reports
// a failure. Releasing the object (destruction) ends its use; an archive not
// closed by then is abandoned.
class IArchivace {
public:
    virtual ~IArchivace() = default;
    IArchivace() = default;
    IArchivace(const IArchivace&) = delete;
    IArchivace& operator=(const IArchivace&) = delete;

    // Back to the component's initial settings.
    virtual void InitParams() = 0;
    // The archive file to write; passed by reference, the component may
    // leave a value in it.
    virtual void SetArchiveFile(std::string& FileName) = 0;
    // A folder and a wildcard mask in one text ("/data/sklad/*.*").
    virtual void AddMask(const std::string& Mask) = 0;
    // Files matching this mask are left out ("*.LCK").
    virtual void AddExcludeMask(const std::string& Mask) = 0;
    // Entries get their file name only.
    virtual void SetStripPath(bool Value) = 0;
    // Entries keep the full path of their file.
    virtual void SetStoreFullPath(bool Value) = 0;
    // Entry names in the 8.3 form of old file systems.
    virtual void SetFormat83(bool Value) = 0;
    // Sub-folders of the mask folders are included.
    virtual void SetRecurseSubDirs(bool Value) = 0;
    // Makes the archive.
    virtual void AddToArchive() = 0;
    // Finishes and closes the archive.
    virtual void Close() = 0;
};

inline constexpr const char* ArchivaceProgId = "ZNX.Archivace";

// The ten operations over a late-bound object of the class: each calls the
// member of its name with the argument kinds the component expects (a string
// by reference for SetArchiveFile, strings for the masks, Booleans).
std::unique_ptr<IArchivace> CreateArchivace(const std::string& ProgId = ArchivaceProgId);

// The same over an object the caller created.
std::unique_ptr<IArchivace> ArchivaceOver(std::unique_ptr<TAutomationObject> Object);

} // namespace znx
