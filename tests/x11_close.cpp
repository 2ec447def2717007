// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Sends WM_DELETE_WINDOW to a window, as a window manager's close box does. Kept apart from
// the Qt test code because Xlib's macros clash with Qt's names.
#include <X11/Xlib.h>

bool SendCloseRequest(const char *display, unsigned long window) {
    Display *d = XOpenDisplay(display);
    if (!d)
        return false;
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    const Status ok = XSendEvent(d, window, False, NoEventMask, &ev);
    XFlush(d);
    XCloseDisplay(d);
    return ok != 0;
}
