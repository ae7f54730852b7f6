// The check functions, one file per group (checks_<group>.cpp); the table in
// check.cpp names and orders them.
#pragma once

#include <functional>

#include "check.h"
#include "harness.h"

namespace orvex::validate {

void checkOpen(Context&, Outcome&);
void checkExports(Context&, Outcome&);
// The exported symbols: one of `entryPoints` and nothing else. `noEntry` says there is
// none, `beyond` names the entry points in the failure ("the entry points").
void judgeExports(Context& c, Outcome& out, const std::vector<std::string>& entryPoints, const std::string& noEntry,
                  const std::string& beyond);
void checkNoHost(Context&, Outcome&);
void checkCycles(Context&, Outcome&);
// Instances made one after another, the library unloaded after each (cold) and kept
// loaded (warm), heard alike: a warm one that sounds different inherited state.
void judgeWarmInstances(Outcome& out, const std::vector<Audio>& cold, const std::vector<Audio>& warm);
void checkSideBySide(Context&, Outcome&);

void checkGrid(Context&, Outcome&);
void checkRateChange(Context&, Outcome&);
void checkBlockSplit(Context&, Outcome&);
void checkLatency(Context&, Outcome&);
void checkBuffers(Context&, Outcome&);
void checkExtremeInput(Context&, Outcome&);
void checkNonFiniteInput(Context&, Outcome&);
void checkSubnormalInput(Context&, Outcome&);

void checkParameterExtremes(Context&, Outcome&);
void checkRandomParameters(Context&, Outcome&);
void checkInvalidParameters(Context&, Outcome&);
void checkPrograms(Context&, Outcome&);
void checkParameterTexts(Context&, Outcome&);
void checkReadback(Context&, Outcome&);
void checkSessionRestore(Context&, Outcome&);

void checkParameterThreads(Context&, Outcome&);
void checkTimeInfo(Context&, Outcome&);
void checkRandomMidi(Context&, Outcome&);
void checkRealtime(Context&, Outcome&);
void checkFpState(Context&, Outcome&);
void checkRateCost(Context&, Outcome&);

void checkEditorRect(Context&, Outcome&);
void checkEditorCycles(Context&, Outcome&);
void checkEditorWhileProcessing(Context&, Outcome&);
void checkCloseWithEditorOpen(Context&, Outcome&);
void checkEditorAfterClose(Context&, Outcome&);

// The floating-point control state a host relies on: the SSE control and status
// register's control bits (exception flags are the status a computation leaves and
// are not compared) and the x87 control word.
struct FpState {
    unsigned mxcsr = 0;
    unsigned short x87 = 0;
    bool operator==(const FpState&) const = default;
};
FpState fpState();
void setFpState(const FpState& state);
// What differs between two states, in words: "MXCSR 0x1f80 to 0x7f80 (rounding
// towards zero instead of to nearest)".
std::string fpChange(const FpState& before, const FpState& after);

// Calls into a plug-in, each made from a host's floating-point state and the state
// checked after it; the first change each kind of call made is kept for the report.
class FpCalls {
public:
    // The usual state, and one with flush-to-zero and denormals-are-zero on, as hosts
    // that want them set: a plug-in that sets them for itself must restore either.
    static constexpr FpState kHostStates[] = {{0x1F80, 0x037F}, {0x9FC0, 0x037F}};
    void call(const FpState& host, const char* name, const std::function<void()>& body);
    // The summary, and a failure per kind of call that changed the state.
    void judge(Outcome& out) const;

private:
    FpState validator = fpState();
    int calls = 0;
    std::vector<std::string> kinds, changed;
};

class HostWindow;
// An editor as editorCycles drives it, whatever the plug-in's interface: opened in the
// host's window, idled as a host's event loop does, closed. The names are the calls'
// for the report ("effEditOpen").
class EditorDriver {
public:
    virtual ~EditorDriver() = default;
    virtual bool open(HostWindow& window) = 0;  // false when the plug-in refuses
    virtual void idle(HostWindow& window) = 0;
    virtual void close() = 0;
    const char* openName = "open";
    const char* idleName = "idle";
    const char* closeName = "close";
};
// False, with the check skipped for this machine's sake, when the window could not be
// made on the display.
bool displayReached(const HostWindow& window, const Context& c, Outcome& out);
// Many open/idle/close cycles in a real window: no window left behind, no growth of
// heap, resident memory or what the plug-in holds in the X server.
void editorCycles(Context& c, Outcome& out, EditorDriver& editor);
// Open/idle/close cycles while another thread processes `block` after block: the
// output stays finite.
void editorWhileProcessing(Context& c, Outcome& out, EditorDriver& editor, const std::function<Audio()>& block);

}  // namespace orvex::validate
