#pragma once

#include "update/update_run.h"
#include "wizard/wizard_context.h"

namespace qv::test {

// A run that takes the device and lets it go, as a real run does, with a fixed outcome (a
// failure when the device could not be let go).
inline RunFunction ScriptedRun(RunResult result) {
  return [result](UpdateEnvironment& env, ProgressContext& progress) {
    env.link.Discover();
    progress.percent = 100;
    progress.PostProgressMessage();
    env.link.Release();
    return env.link.Connected() ? RunResult::kFailed : result;
  };
}

}  // namespace qv::test
