#pragma once
// Caps Lock and Num Lock state for the status bars. Qt has no portable query
// for lock keys, so this asks the X server's keyboard extension when the
// application runs on X11; elsewhere (offscreen, Wayland) the state is
// unknown and reported as off.

namespace ui {

struct LockState {
    bool caps = false;
    bool num = false;
    bool known = false; // false when the platform gave no answer
};

LockState queryLockState();

// Replaces the platform query (tests simulate the keyboard); nullptr
// restores it.
using LockStateSource = LockState (*)();
void setLockStateSource(LockStateSource source);

} // namespace ui
