// The check functions, one file per group (checks_<group>.cpp); the table in
// check.cpp names and orders them.
#pragma once

#include "check.h"

namespace orvex::validate {

void checkOpen(Context&, Outcome&);
void checkExports(Context&, Outcome&);
void checkNoHost(Context&, Outcome&);
void checkCycles(Context&, Outcome&);
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

}  // namespace orvex::validate
