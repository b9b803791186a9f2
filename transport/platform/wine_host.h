// Whether this Windows program runs under Wine, decided at run time: Wine's ntdll exports
// wine_get_version, Windows' does not. Probes that only make sense under Wine run only then.
#pragma once

namespace tavi {

bool RunningUnderWine();

}  // namespace tavi
