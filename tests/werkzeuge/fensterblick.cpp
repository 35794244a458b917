// A look at a window on an X display, for the desktop tests: the colour of one pixel of its
// client area, how far one colour runs across and down it, and a polite close request
// (WM_DELETE_WINDOW), as a window manager's close button sends.
// SPDX-License-Identifier: MIT
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// XDestroyImage is a macro, so it needs a function around it.
using Bild = std::unique_ptr<XImage, decltype([](XImage* b) { XDestroyImage(b); })>;

int verwendung() {
    std::fprintf(stderr,
                 "usage: fensterblick pixel WINDOW X Y | fensterblick flaeche WINDOW RRGGBB | "
                 "fensterblick schliessen WINDOW\n");
    return 2;
}

unsigned long farbe(const XImage& bild, int x, int y) {
    const unsigned long p = XGetPixel(const_cast<XImage*>(&bild), x, y);
    return ((p & bild.red_mask) >> 16) << 16 | ((p & bild.green_mask) >> 8) << 8 | (p & bild.blue_mask);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return verwendung();
    const std::string befehl = argv[1];
    const Window fenster = std::strtoul(argv[2], nullptr, 0);
    const std::unique_ptr<Display, decltype(&XCloseDisplay)> anzeige(XOpenDisplay(nullptr), XCloseDisplay);
    if (!anzeige) {
        std::fprintf(stderr, "fensterblick: no display\n");
        return 1;
    }
    if (befehl == "pixel" && argc == 5) {
        const int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
        const Bild bild(XGetImage(anzeige.get(), fenster, x, y, 1, 1, AllPlanes, ZPixmap));
        if (!bild) return 1;
        std::printf("%06lx\n", farbe(*bild, 0, 0));
        return 0;
    }
    // "WxH": how many pixels of the colour lie across the row at two thirds of the height and down
    // the middle column, from one picture of the whole window. A frame around the client area
    // does not count, so this is the size of a client area of that colour.
    if (befehl == "flaeche" && argc == 4) {
        const unsigned long gesucht = std::strtoul(argv[3], nullptr, 16);
        XWindowAttributes a{};
        if (!XGetWindowAttributes(anzeige.get(), fenster, &a)) return 1;
        const Bild bild(XGetImage(anzeige.get(), fenster, 0, 0, a.width, a.height, AllPlanes, ZPixmap));
        if (!bild) return 1;
        int quer = 0, hoch = 0;
        for (int x = 0; x < a.width; ++x)
            quer += farbe(*bild, x, a.height * 2 / 3) == gesucht;
        for (int y = 0; y < a.height; ++y)
            hoch += farbe(*bild, a.width / 2, y) == gesucht;
        std::printf("%dx%d\n", quer, hoch);
        return 0;
    }
    if (befehl == "schliessen" && argc == 3) {
        XEvent ereignis{};
        ereignis.xclient.type = ClientMessage;
        ereignis.xclient.window = fenster;
        ereignis.xclient.message_type = XInternAtom(anzeige.get(), "WM_PROTOCOLS", False);
        ereignis.xclient.format = 32;
        ereignis.xclient.data.l[0] = static_cast<long>(XInternAtom(anzeige.get(), "WM_DELETE_WINDOW", False));
        ereignis.xclient.data.l[1] = CurrentTime;
        XSendEvent(anzeige.get(), fenster, False, NoEventMask, &ereignis);
        XSync(anzeige.get(), False);
        return 0;
    }
    return verwendung();
}
