#pragma once
// Caps Lock and Num Lock state for the status bar. Qt has no portable query
// for lock keys, so this asks the X server's keyboard extension when the
// application runs on X11; elsewhere (offscreen, Wayland) the state is
// unknown and reported as off.

namespace tarlo {

struct LockState {
    bool caps = false;
    bool num = false;
    bool known = false;   // false when the platform gave no answer
};

LockState queryLockState();

} // namespace tarlo
