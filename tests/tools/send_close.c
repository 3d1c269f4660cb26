/* Asks a window to close. Plain: the WM_DELETE_WINDOW message a window manager sends, for tests on an
   X server that runs no window manager. With --wm: asks the window manager to close it
   (_NET_CLOSE_WINDOW, what the title bar's close button and `wmctrl -c` do).
   Usage: send_close [--wm] WINDOW-ID */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    const int via_wm = argc == 3 && strcmp(argv[1], "--wm") == 0;
    if (argc != 2 + via_wm) {
        fprintf(stderr, "usage: send_close [--wm] WINDOW-ID\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "send_close: no X display\n");
        return 1;
    }
    const Window window = (Window)strtoul(argv[1 + via_wm], NULL, 0);
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.format = 32;
    Status sent;
    if (via_wm) {
        e.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
        e.xclient.data.l[0] = CurrentTime;
        e.xclient.data.l[1] = 2; /* a request from a pager or tool, as wmctrl sends it */
        sent = XSendEvent(display, DefaultRootWindow(display), False,
                          SubstructureRedirectMask | SubstructureNotifyMask, &e);
    } else {
        e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        e.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
        e.xclient.data.l[1] = CurrentTime;
        sent = XSendEvent(display, window, False, NoEventMask, &e);
    }
    XFlush(display);
    XCloseDisplay(display);
    return sent ? 0 : 1;
}
