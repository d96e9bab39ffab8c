#include "frame/ZeWindow.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeSignals.h"
#include "frame/ZeWindowPlatform.h"

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

using namespace irr;

namespace
{
int g_syncFrame = 0x0FFFFFFF;

// Every frame is read from the back buffer just before it is presented: after
// the swap the back buffer holds nothing defined on most drivers, and the
// front buffer reads black on some X servers. The read goes into a pixel
// buffer on the GPU, so the frame does not wait for it; a screenshot maps it.
struct SKeptFrame
{
	GLuint buffer = 0;
	int width = 0;
	int height = 0;
	bool valid = false;  // a frame has been read since the buffer was made
} g_kept;

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

bool onOpenGL()
{
	SZeContext* c = zeGetContext();
	return c->driver && c->driver->getDriverType() == video::EDT_OPENGL;
}

// Binds the kept frame's pixel buffer for packing while it lives; the buffer
// bound before comes back afterwards.
class CPackBufferScope
{
public:
	CPackBufferScope()
	{
		glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &Previous);
		glBindBuffer(GL_PIXEL_PACK_BUFFER, g_kept.buffer);
	}
	~CPackBufferScope() { glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(Previous)); }
	CPackBufferScope(const CPackBufferScope&) = delete;
	CPackBufferScope& operator=(const CPackBufferScope&) = delete;

private:
	GLint Previous = 0;
};

// The kept frame's pixels (RGBA, bottom row first) into an image, top row first.
bool copyKeptFrame(video::IImage* image)
{
	const CPackBufferScope bound;
	GLint bytes = 0;
	glGetBufferParameteriv(GL_PIXEL_PACK_BUFFER, GL_BUFFER_SIZE, &bytes);
	if (static_cast<size_t>(bytes) < static_cast<size_t>(g_kept.width) * g_kept.height * 4)
		return false;
	const u8* pixels = static_cast<const u8*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
	if (pixels)
	{
		u8* dst = static_cast<u8*>(image->lock());
		const u32 pitch = image->getPitch();
		for (int y = 0; y < g_kept.height; ++y)
		{
			const u8* src = pixels + static_cast<size_t>(g_kept.height - 1 - y) * g_kept.width * 4;
			u32* row = reinterpret_cast<u32*>(dst + y * pitch);
			for (int x = 0; x < g_kept.width; ++x, src += 4)
				row[x] = video::SColor(255, src[0], src[1], src[2]).color;
		}
		image->unlock();
	}
	return pixels && glUnmapBuffer(GL_PIXEL_PACK_BUFFER) == GL_TRUE;
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
	if (!c->device || c->device->isWindowMinimized())
		return;
	if (!c->driver->beginScene(true, true, c->backdrop))
		return;
	c->sceneManager->drawAll();
	c->gui->drawAll();
	zeDraw2DList();
	zeGrabFrameBeforePresent();
	c->driver->endScene();
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

void zeGrabFrameBeforePresent()
{
	SZeContext* c = zeGetContext();
	if (!onOpenGL())
		return;
	const core::dimension2d<u32> size = c->driver->getScreenSize();
	const int width = static_cast<int>(size.Width);
	const int height = static_cast<int>(size.Height);
	if (width <= 0 || height <= 0)
		return;
	if (!g_kept.buffer)
		glGenBuffers(1, &g_kept.buffer);
	const CPackBufferScope bound;
	while (glGetError() != GL_NO_ERROR)
	{
	}
	if (width != g_kept.width || height != g_kept.height)
	{
		glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(width) * height * 4, nullptr, GL_STREAM_READ);
		g_kept.width = width;
		g_kept.height = height;
		if (glGetError() != GL_NO_ERROR)
		{
			// No room for the frame: no shot until a size that fits.
			g_kept.width = g_kept.height = 0;
			g_kept.valid = false;
			return;
		}
	}
	// The window's own back buffer, whatever a renderer left bound for reading.
	GLint readFramebuffer = 0;
	glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
	glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
	glReadBuffer(GL_BACK);
	GLint alignment = 4;
	glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
	glPixelStorei(GL_PACK_ALIGNMENT, alignment);
	glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
	g_kept.valid = glGetError() == GL_NO_ERROR;
}

void zeResetFrameGrab()
{
	if (g_kept.buffer && onOpenGL())
		glDeleteBuffers(1, &g_kept.buffer);
	g_kept = SKeptFrame();
}

int zeScreenShot(const char* fileName)
{
	SZeContext* c = zeGetContext();
	if (!onOpenGL() || !g_kept.valid)
	{
		zeSetError(1, "failed to grab the screen\n");
		return -1;
	}
	video::IImage* image = c->driver->createImage(video::ECF_A8R8G8B8,
		core::dimension2d<u32>(static_cast<u32>(g_kept.width), static_cast<u32>(g_kept.height)));
	if (!image || !copyKeptFrame(image))
	{
		if (image)
			image->drop();
		zeSetError(1, "failed to grab the screen\n");
		return -1;
	}
	const bool written = c->driver->writeImageToFile(image, fileName);
	image->drop();
	if (!written)
	{
		zeSetError(1, "failed to save screenshot to file '%s'\n", fileName);
		return -1;
	}
	return 0;
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
