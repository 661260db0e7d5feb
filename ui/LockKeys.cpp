// The lock keys' state from the X keyboard extension, or from a test's source.
#include "ui/LockKeys.h"

#include <QGuiApplication>

#if defined(TARLO_HAVE_XKBLIB)
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace ui {

namespace {
LockStateSource g_source = nullptr;
} // namespace

void setLockStateSource(LockStateSource source)
{
    g_source = source;
}

#if defined(TARLO_HAVE_XKBLIB)

namespace {

// Our own connection: it stays valid for the run and does not depend on
// the platform plugin's private interfaces.
Display* xDisplay()
{
    static Display* dpy = [] {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return static_cast<Display*>(nullptr);
        return XOpenDisplay(nullptr);
    }();
    return dpy;
}

bool indicatorOn(Display* dpy, unsigned int state, const char* name)
{
    const Atom atom = XInternAtom(dpy, name, True);
    if (atom == None)
        return false;
    int index = -1;
    if (!XkbGetNamedIndicator(dpy, atom, &index, nullptr, nullptr, nullptr) || index < 0)
        return false;
    return (state >> index) & 1u;
}

} // namespace

LockState queryLockState()
{
    if (g_source)
        return g_source();
    LockState s;
    Display* dpy = xDisplay();
    if (!dpy)
        return s;
    unsigned int state = 0;
    if (XkbGetIndicatorState(dpy, XkbUseCoreKbd, &state) != Success)
        return s;
    s.caps = indicatorOn(dpy, state, "Caps Lock");
    s.num = indicatorOn(dpy, state, "Num Lock");
    s.known = true;
    return s;
}

#else

LockState queryLockState()
{
    return g_source ? g_source() : LockState{};
}

#endif

} // namespace ui
