// Focuses an X window and types keys into it through XTest (capture helper).
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
extern int XTestFakeKeyEvent(Display*, unsigned int, int, unsigned long);
int main(int argc, char** argv)
{
    Display* d = XOpenDisplay(NULL);
    if (!d || argc < 3) return 1;
    Window w = (Window)strtoul(argv[1], NULL, 0);
    XRaiseWindow(d, w);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    usleep(300000);
    for (int i = 2; i < argc; ++i) {
        KeyCode k = XKeysymToKeycode(d, XStringToKeysym(argv[i]));
        XTestFakeKeyEvent(d, k, True, 0);
        XTestFakeKeyEvent(d, k, False, 0);
        XSync(d, False);
        usleep(200000);
    }
    XCloseDisplay(d);
    return 0;
}
