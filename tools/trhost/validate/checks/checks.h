// The validator's checks, one routine each; all_checks.cpp names and orders them.
#ifndef TRHOST_VALIDATE_CHECKS_H
#define TRHOST_VALIDATE_CHECKS_H

#include "check.h"

namespace trhost::validate {

void CheckExports(CheckContext& context);
void CheckRecord(CheckContext& context);
void CheckHostCalls(CheckContext& context);
void CheckPinDescriptions(CheckContext& context);
void CheckOpenClose(CheckContext& context);
void CheckOpenCloseCycles(CheckContext& context);
void CheckProcessing(CheckContext& context);
void CheckBlockPartition(CheckContext& context);
void CheckMovingBuffers(CheckContext& context);
void CheckSharedInputs(CheckContext& context);
void CheckIsolation(CheckContext& context);
void CheckDeterminism(CheckContext& context);
void CheckThreads(CheckContext& context);
void CheckBadInput(CheckContext& context);
void CheckRecovery(CheckContext& context);
void CheckLongRun(CheckContext& context);
void CheckDenormals(CheckContext& context);
void CheckEvents(CheckContext& context);
void CheckRealtime(CheckContext& context);
void CheckFpState(CheckContext& context);
void CheckStackAlignment(CheckContext& context);
void CheckReport(CheckContext& context);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_CHECKS_H
