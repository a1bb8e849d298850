// The filter's configuration procedure: the modal dialog of template 101 on the
// instance record, with the host's live preview.
#pragma once

#include "filter_sdk.h"

namespace rangewick {

// Runs the dialog owned by hwndParent. Returns 0 when the user pressed "OK"; 1 for
// "Cancel" (button, Escape or close box), after putting every setting back as it was;
// -1 when the dialog could not be made. Works without a preview interface too.
int configProc(FilterActivation* fa, const FilterFunctions* ff, HWND hwndParent) noexcept;

} // namespace rangewick
