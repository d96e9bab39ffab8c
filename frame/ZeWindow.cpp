#include "frame/ZeWindow.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeSignals.h"
#include "frame/ZeWindowPlatform.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

using namespace irr;

namespace
{
int g_syncFrame = 0x0FFFFFFF;

struct SX11
{
	Display* display;
	Window window;
};

bool x11(SX11* out)
{
	SZeContext* c = zeGetContext();
	if (!c->driver || c->driver->getDriverType() != video::EDT_OPENGL)
		return false;
	const video::SExposedVideoData& data = c->driver->getExposedVideoData();
	out->display = static_cast<Display*>(data.OpenGLLinux.X11Display);
	out->window = static_cast<Window>(data.OpenGLLinux.X11Window);
	return out->display && out->window;
}

void setWindowState(SX11& x, const char* stateName, bool on)
{
	Atom wmState = XInternAtom(x.display, "_NET_WM_STATE", False);
	Atom state = XInternAtom(x.display, stateName, False);
	XEvent e;
	memset(&e, 0, sizeof(e));
	e.xclient.type = ClientMessage;
	e.xclient.window = x.window;
	e.xclient.message_type = wmState;
	e.xclient.format = 32;
	e.xclient.data.l[0] = on ? 1 : 0;
	e.xclient.data.l[1] = static_cast<long>(state);
	e.xclient.data.l[3] = 1;
	XSendEvent(x.display, DefaultRootWindow(x.display), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
	XFlush(x.display);
}

bool windowTitleContains(Display* display, Window w, const char* needle)
{
	bool found = false;
	char* name = nullptr;
	if (XFetchName(display, w, &name) && name)
	{
		found = strstr(name, needle) != nullptr;
		XFree(name);
	}
	if (!found)
	{
		XTextProperty prop;
		Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
		if (XGetTextProperty(display, w, &prop, netName) && prop.value)
		{
			found = strstr(reinterpret_cast<const char*>(prop.value), needle) != nullptr;
			XFree(prop.value);
		}
	}
	return found;
}

// The system layer's frame into the back buffer: backdrop, scene graph, GUI
// and the 2D list (its last one when drawn again); false when the scene cannot begin.
bool drawDefaultFrame(bool again)
{
	SZeContext* c = zeGetContext();
	if (!c->driver->beginScene(true, true, c->backdrop))
		return false;
	c->sceneManager->drawAll();
	zeDrawOverFrame(again);
	return true;
}

bool redrawDefaultFrame()
{
	return drawDefaultFrame(true);
}
} // namespace

int zeRun()
{
	SZeContext* c = zeGetContext();
	// SIGTERM or SIGINT: the window closes and the loop ends as on a close.
	if (zeTerminationRequested())
	{
		if (c->device)
			c->device->closeDevice();
		return 0;
	}
	return c->device && c->device->run() ? 1 : 0;
}

void zeSync()
{
	SZeContext* c = zeGetContext();
	if (!c->device)
		return;
	if (zeGetEngineHooks().endFrame)
		zeGetEngineHooks().endFrame();
	else
		zeEndFrameDefault();
}

void zeEndFrameDefault()
{
	SZeContext* c = zeGetContext();
	if (c->device && !c->device->isWindowMinimized() && drawDefaultFrame(false))
		zePresentFrame(redrawDefaultFrame);
}

int zeRenderDummy()
{
	if (!zeGetEngineHooks().renderDummyFrame)
	{
		zeLog(EZELL_WARN, "zeRenderDummy: there is no renderer to draw a dummy frame");
		return -1;
	}
	return zeGetEngineHooks().renderDummyFrame();
}

void zeHideWindow()
{
	SX11 x;
	if (x11(&x))
	{
		XUnmapWindow(x.display, x.window);
		XFlush(x.display);
	}
}

void zeShowWindow()
{
	SX11 x;
	if (x11(&x))
	{
		XMapRaised(x.display, x.window);
		XFlush(x.display);
	}
}

void zeMaximizeWindow()
{
	if (zeGetContext()->device)
		zeGetContext()->device->maximizeWindow();
}

void zeMinimizeWindow()
{
	if (zeGetContext()->device)
		zeGetContext()->device->minimizeWindow();
}

void zeRestoreWindow()
{
	if (zeGetContext()->device)
		zeGetContext()->device->restoreWindow();
}

int zeIsWindowActive()
{
	SZeContext* c = zeGetContext();
	return c->device && c->device->isWindowActive() ? 1 : 0;
}

int zeWindowMode()
{
	return zeGetContext()->windowed ? 0 : 1;
}

int zeScreenWidth()
{
	SZeContext* c = zeGetContext();
	return c->driver ? static_cast<int>(c->driver->getScreenSize().Width) : c->width;
}

int zeScreenHeight()
{
	SZeContext* c = zeGetContext();
	return c->driver ? static_cast<int>(c->driver->getScreenSize().Height) : c->height;
}

int zeScreenDepth()
{
	SZeContext* c = zeGetContext();
	int bits = c->bits;
	if (c->device && c->windowed)
		bits = c->device->getVideoModeList()->getDesktopDepth();
	if (bits <= 16)
		return 16;
	if (bits <= 24)
		return 24;
	return bits <= 32 ? 32 : 64;
}

namespace
{
bool g_xErrorSeen = false;

int trapXError(Display*, XErrorEvent*)
{
	g_xErrorSeen = true;
	return 0;
}
} // namespace

int zeAttachToLayoutWindow()
{
	SX11 x;
	if (!x11(&x))
		return -1;
	Window root, parent;
	Window* children = nullptr;
	unsigned int count = 0;
	if (!XQueryTree(x.display, DefaultRootWindow(x.display), &root, &parent, &children, &count))
		return -1;
	// Other programs' windows may close while they are looked at: their
	// BadWindow errors must not end the program.
	XSync(x.display, False);
	int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(trapXError);
	Window layout = 0;
	for (unsigned int i = 0; i < count && !layout; ++i)
	{
		if (children[i] == x.window)
			continue;
		// A window manager may wrap top-level windows in frames: look one level down too.
		if (windowTitleContains(x.display, children[i], "Layout"))
			layout = children[i];
		else
		{
			Window r2, p2;
			Window* inner = nullptr;
			unsigned int n2 = 0;
			if (XQueryTree(x.display, children[i], &r2, &p2, &inner, &n2))
			{
				for (unsigned int j = 0; j < n2 && !layout; ++j)
					if (inner[j] != x.window && windowTitleContains(x.display, inner[j], "Layout"))
						layout = inner[j];
				if (inner)
					XFree(inner);
			}
		}
	}
	if (children)
		XFree(children);
	XSync(x.display, False);
	XSetErrorHandler(previous);
	if (!layout)
		return -1;
	XSetTransientForHint(x.display, x.window, layout);
	XFlush(x.display);
	zeLog(EZELL_INFO, "ZeWindow: attached to the Layout window");
	return 0;
}

void zeSetWindowTopmost()
{
	SX11 x;
	if (x11(&x))
		setWindowState(x, "_NET_WM_STATE_ABOVE", true);
}

namespace
{
long g_deleteWindowAtom = 0;
} // namespace

void zeAdvertiseWindowClose()
{
	SX11 x;
	if (!x11(&x))
		return;
	Atom deleteWindow = XInternAtom(x.display, "WM_DELETE_WINDOW", False);
	XSetWMProtocols(x.display, x.window, &deleteWindow, 1);
	XFlush(x.display);
	g_deleteWindowAtom = static_cast<long>(deleteWindow);
}

bool zeHandleWindowCloseEvent(int userData1)
{
	SZeContext* c = zeGetContext();
	if (!g_deleteWindowAtom || static_cast<s32>(g_deleteWindowAtom) != userData1 || !c->device)
		return false;
	c->device->closeDevice();
	return true;
}

int zeGetSyncFrame()
{
	return g_syncFrame;
}

void zeSetSyncFrame(int frame)
{
	g_syncFrame = frame;
}

void zePlaceWindow(int x, int y)
{
	SX11 w;
	if (!x11(&w))
		return;
	SZeContext* c = zeGetContext();
	if (x < 0 || y < 0)
	{
		Screen* screen = DefaultScreenOfDisplay(w.display);
		x = (WidthOfScreen(screen) - c->width) / 2;
		y = (HeightOfScreen(screen) - c->height) / 2;
		if (x < 0)
			x = 0;
		if (y < 0)
			y = 0;
	}
	XMoveWindow(w.display, w.window, x, y);
	XFlush(w.display);
}

void zeEnableVsync()
{
	SX11 x;
	if (!x11(&x))
		return;
	typedef void (*SwapIntervalExt)(Display*, GLXDrawable, int);
	typedef int (*SwapIntervalMesa)(unsigned int);
	const auto ext = reinterpret_cast<SwapIntervalExt>(
		glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
	const auto mesa = reinterpret_cast<SwapIntervalMesa>(
		glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
	XSync(x.display, False);
	g_xErrorSeen = false;
	int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(trapXError);
	if (mesa)
		mesa(1);
	else if (ext)
		ext(x.display, x.window, 1);
	XSync(x.display, False);
	XSetErrorHandler(previous);
	if (g_xErrorSeen || (!mesa && !ext))
		zeLog(EZELL_WARN, "ZeWindow: the display does not offer vertical sync");
}
