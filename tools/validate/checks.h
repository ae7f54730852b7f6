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

}  // namespace orvex::validate
