#pragma once
// A recording stand-in for the archiver component: it notes every call with
// its argument kind and value, can be told to fail at one call, and writes
// a file at the archive path as a component would (a partial one during
// AddToArchive, the whole one at Close).

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "platform/error.h"

namespace znx::test {

struct TRecordingScript {
    int FailAt = 0;                 // 1-based number of this object's call that fails; 0 none
    std::string FailMessage = "component failure"; // "%f" stands for the archive path it got
    bool WriteArchive = true;       // make a file at the archive path
    std::string Content = "new archive";
    bool LeaveValue = true;         // assign another value to the by-reference argument
};

struct TRecordingLog {
    std::vector<std::string> Calls; // "Member(kind value)"; "release" when released
    int Created = 0;
    int Released = 0;
    std::string ArchiveFile;        // the path SetArchiveFile got
};

class TRecordingArchivace : public IArchivace {
public:
    TRecordingArchivace(TRecordingLog& log, TRecordingScript script) : FLog(log), FScript(std::move(script)) {
        ++FLog.Created;
    }
    ~TRecordingArchivace() override {
        ++FLog.Released;
        FLog.Calls.push_back("release");
    }

    void InitParams() override { Record("InitParams()"); }
    void SetArchiveFile(std::string& FileName) override {
        FLog.ArchiveFile = FileName;
        Record("SetArchiveFile(ref " + FileName + ")");
        if (FScript.LeaveValue) FileName = "value left by the component";
    }
    void AddMask(const std::string& Mask) override { Record("AddMask(str " + Mask + ")"); }
    void AddExcludeMask(const std::string& Mask) override { Record("AddExcludeMask(str " + Mask + ")"); }
    void SetStripPath(bool Value) override { Record("SetStripPath(bool " + Text(Value) + ")"); }
    void SetStoreFullPath(bool Value) override { Record("SetStoreFullPath(bool " + Text(Value) + ")"); }
    void SetFormat83(bool Value) override { Record("SetFormat83(bool " + Text(Value) + ")"); }
    void SetRecurseSubDirs(bool Value) override { Record("SetRecurseSubDirs(bool " + Text(Value) + ")"); }
    void AddToArchive() override {
        if (FScript.WriteArchive) Write("partial");
        Record("AddToArchive()");
    }
    void Close() override {
        Record("Close()");
        if (FScript.WriteArchive) Write(FScript.Content);
    }

private:
    static std::string Text(bool v) { return v ? "true" : "false"; }
    void Record(const std::string& call) {
        FLog.Calls.push_back(call);
        if (++FCount == FScript.FailAt) {
            std::string message = FScript.FailMessage;
            const size_t at = message.find("%f");
            if (at != std::string::npos) message.replace(at, 2, FLog.ArchiveFile);
            throw Error(message);
        }
    }
    void Write(const std::string& content) {
        std::ofstream out(FLog.ArchiveFile, std::ios::binary | std::ios::trunc);
        out << content;
    }

    TRecordingLog& FLog;
    TRecordingScript FScript;
    int FCount = 0;
};

} // namespace znx::test
