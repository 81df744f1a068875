// Opening a host channel's named objects with the rights a launcher grants.
// A launcher that secures its objects (a DACL granting the game only what it
// uses) denies an open that asks for all rights, which include WRITE_DAC,
// WRITE_OWNER and DELETE. Any thread.
#pragma once

#include <windows.h>

namespace lumo {

// Opens with `all` rights through `open` (access mask → handle or null, the
// reason in the thread's last error) and, only when that is denied, once
// more with the `used` ones. `granted` receives the mask of the last try;
// the last error stays that of the last try.
template <typename OpenFn>
HANDLE OpenWithRights(OpenFn open, DWORD all, DWORD used, DWORD* granted) {
  *granted = all;
  HANDLE h = open(all);
  if (h == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    *granted = used;
    h = open(used);
  }
  return h;
}

}  // namespace lumo
