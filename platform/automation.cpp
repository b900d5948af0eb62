#include "automation.h"

#include "error.h"
#include "text.h"

namespace znx {

TAutomationArg TAutomationArg::String(std::string value) {
    TAutomationArg a;
    a.FKind = akString;
    a.FText = std::move(value);
    return a;
}

TAutomationArg TAutomationArg::StringRef(std::string& value) {
    TAutomationArg a;
    a.FKind = akStringRef;
    a.FRef = &value;
    return a;
}

TAutomationArg TAutomationArg::Bool(bool value) {
    TAutomationArg a;
    a.FKind = akBool;
    a.FBool = value;
    return a;
}

void TAutomationArg::Assign(const std::string& value) {
    if (FKind == akStringRef) *FRef = value;
    else FText = value;
}

std::string ComponentBaseName(const std::string& ProgId) {
    // A programmatic identifier: at most 39 characters, letters, digits and
    // dots, beginning with a letter, no empty part.
    bool valid = !ProgId.empty() && ProgId.size() <= 39 && ProgId.back() != '.';
    for (size_t i = 0; valid && i < ProgId.size(); ++i) {
        const char c = ProgId[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (i == 0) valid = letter;
        else if (c == '.') valid = ProgId[i - 1] != '.';
        else valid = letter || digit;
    }
    if (!valid) throw Error(Format(SysText("Invalid class string \"%s\""), ProgId));
    std::string name;
    for (char c : ProgId) name += c == '.' ? '-' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return name;
}

namespace {

// The archiver's operations as late-bound calls by member name.
class TArchivaceDispatch : public IArchivace {
public:
    explicit TArchivaceDispatch(std::unique_ptr<TAutomationObject> object) : FObject(std::move(object)) {}

    void InitParams() override { Call("InitParams"); }
    void SetArchiveFile(std::string& FileName) override {
        TAutomationArgs args{TAutomationArg::StringRef(FileName)};
        FObject->Invoke("SetArchiveFile", args);
    }
    void AddMask(const std::string& Mask) override { CallWith("AddMask", TAutomationArg::String(Mask)); }
    void AddExcludeMask(const std::string& Mask) override {
        CallWith("AddExcludeMask", TAutomationArg::String(Mask));
    }
    void SetStripPath(bool Value) override { CallWith("SetStripPath", TAutomationArg::Bool(Value)); }
    void SetStoreFullPath(bool Value) override { CallWith("SetStoreFullPath", TAutomationArg::Bool(Value)); }
    void SetFormat83(bool Value) override { CallWith("SetFormat83", TAutomationArg::Bool(Value)); }
    void SetRecurseSubDirs(bool Value) override { CallWith("SetRecurseSubDirs", TAutomationArg::Bool(Value)); }
    void AddToArchive() override { Call("AddToArchive"); }
    void Close() override { Call("Close"); }

private:
    void Call(const char* member) {
        TAutomationArgs none;
        FObject->Invoke(member, none);
    }
    void CallWith(const char* member, TAutomationArg arg) {
        TAutomationArgs args{std::move(arg)};
        FObject->Invoke(member, args);
    }

    std::unique_ptr<TAutomationObject> FObject;
};

} // namespace

std::unique_ptr<IArchivace> ArchivaceOver(std::unique_ptr<TAutomationObject> Object) {
    return std::make_unique<TArchivaceDispatch>(std::move(Object));
}

std::unique_ptr<IArchivace> CreateArchivace(const std::string& ProgId) {
    return ArchivaceOver(CreateOleObject(ProgId));
}

} // namespace znx
