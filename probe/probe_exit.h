// The probe's exit codes, which support scripts rely on.
#pragma once

namespace quenta::probe {

constexpr int kExitOk = 0;         // the pendant was found and reports (or the run ended normally)
constexpr int kExitNotFound = 1;   // no pendant is plugged in
constexpr int kExitCannotUse = 2;  // found, but it cannot be opened, sends no report or went away
constexpr int kExitUsage = 3;      // an argument the probe does not know

}  // namespace quenta::probe
