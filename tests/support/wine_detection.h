// Some failures are Wine's own and not the plug-in's; tests that meet one say so.
#pragma once

namespace quenta {

bool RunningUnderWine();

}  // namespace quenta
