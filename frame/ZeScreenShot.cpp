// Presenting frames, and screenshots of the frame last presented.
#include "frame/ZeContext.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <GL/glxext.h>

#include <cstring>
#include <utility>
#include <vector>

using namespace irr;

namespace
{
// The frame last presented, and how to draw it again.
struct SPresented
{
	ZeFrameRedraw redraw = nullptr;  // null: nothing presented on this device yet
	int width = 0;
	int height = 0;
} g_presented;

// Frames read from the window just before their present into pixel buffers
// on the GPU (red, green, blue, alpha; rows from the bottom up), so that the
// frame does not wait for the read. Once the back buffer was found lost,
// screenshots keep one; a capture's stream keeps a ring of them, each copied
// out a frame after it was read.
struct SKeptSlot
{
	GLuint buffer = 0;
	int width = 0;
	int height = 0;
	unsigned int serial = 0;  // the present whose frame it holds
	bool valid = false;
};
const size_t STREAM_SLOTS = 3;
std::vector<SKeptSlot> g_slots;
size_t g_newest = 0;         // the slot read last
unsigned int g_serial = 0;   // presents so far, never reset: kept frames name one
bool g_keepForShots = false;
bool g_streaming = false;

int g_swapKeepsOverride = -1;

bool onOpenGL()
{
	SZeContext* c = zeGetContext();
	return c->driver && c->driver->getDriverType() == video::EDT_OPENGL;
}

bool hasExtension(const char* list, const char* name)
{
	const size_t length = strlen(name);
	for (const char* at = list; at && (at = strstr(at, name)) != nullptr; at += length)
		if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == 0))
			return true;
	return false;
}

// Whether the window's back buffer still holds the frame the last swap
// presented: a back buffer of age 1, or a swap that copies. A driver that
// says neither may have flipped it away or left it undefined.
bool swapKeepsBackBuffer()
{
	if (g_swapKeepsOverride >= 0)
		return g_swapKeepsOverride != 0;
	Display* display = glXGetCurrentDisplay();
	const GLXDrawable drawable = glXGetCurrentDrawable();
	if (!display || !drawable)
		return false;
	const int screen = DefaultScreen(display);
	const char* extensions = glXQueryExtensionsString(display, screen);
	if (hasExtension(extensions, "GLX_EXT_buffer_age"))
	{
		unsigned int age = 0;
		glXQueryDrawable(display, drawable, GLX_BACK_BUFFER_AGE_EXT, &age);
		return age == 1;
	}
	if (!hasExtension(extensions, "GLX_OML_swap_method"))
		return false;
	unsigned int id = 0;
	glXQueryDrawable(display, drawable, GLX_FBCONFIG_ID, &id);
	const int wanted[] = { GLX_FBCONFIG_ID, static_cast<int>(id), None };
	int count = 0;
	GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
	int method = 0;
	const bool copies = configs && count > 0 &&
		glXGetFBConfigAttrib(display, configs[0], GLX_SWAP_METHOD_OML, &method) == Success && method == GLX_SWAP_COPY_OML;
	if (configs)
		XFree(configs);
	return copies;
}

// Binds a pixel buffer for packing (0: client memory) while it lives; the
// buffer bound before comes back afterwards.
class CPackBufferScope
{
public:
	explicit CPackBufferScope(GLuint buffer)
	{
		glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &Previous);
		glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
	}
	~CPackBufferScope() { glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(Previous)); }
	CPackBufferScope(const CPackBufferScope&) = delete;
	CPackBufferScope& operator=(const CPackBufferScope&) = delete;

private:
	GLint Previous = 0;
};

// Reads the window's back buffer (RGBA, bottom row first) into the bound pack
// buffer at `pixels`, whatever a renderer left bound for reading; false on a
// GL error. RGBA: drivers convert to other layouts pixel by pixel (llvmpipe
// takes 1.7 times as long for BGR).
bool readBackBuffer(int width, int height, void* pixels)
{
	while (glGetError() != GL_NO_ERROR)
	{
	}
	GLint readFramebuffer = 0;
	glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
	glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
	glReadBuffer(GL_BACK);
	GLint alignment = 4;
	glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
	glPixelStorei(GL_PACK_ALIGNMENT, alignment);
	glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
	return glGetError() == GL_NO_ERROR;
}

size_t frameBytes(int width, int height)
{
	return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

// The slots screenshots and the stream need; the newest frame stays first
// when the ring shrinks.
void fitRing()
{
	const size_t wanted = g_streaming ? STREAM_SLOTS : (g_keepForShots ? 1 : 0);
	if (wanted < g_slots.size() && !g_slots.empty())
	{
		std::swap(g_slots[0], g_slots[g_newest]);
		g_newest = 0;
		for (size_t i = wanted; i < g_slots.size(); ++i)
			if (g_slots[i].buffer && onOpenGL())
				glDeleteBuffers(1, &g_slots[i].buffer);
	}
	g_slots.resize(wanted);
	if (g_newest >= g_slots.size())
		g_newest = 0;
}

// The slot holding the frame last presented, or null.
SKeptSlot* newestFrame()
{
	if (g_slots.empty())
		return nullptr;
	SKeptSlot& slot = g_slots[g_newest];
	return slot.valid && slot.serial == g_serial ? &slot : nullptr;
}

// Reads the frame about to be presented (or last presented, drawn again) into
// the next slot of the ring.
void keepFrame(int width, int height)
{
	g_newest = (g_newest + 1) % g_slots.size();
	SKeptSlot& slot = g_slots[g_newest];
	if (!slot.buffer)
		glGenBuffers(1, &slot.buffer);
	const CPackBufferScope bound(slot.buffer);
	slot.valid = false;
	if (width != slot.width || height != slot.height)
	{
		while (glGetError() != GL_NO_ERROR)
		{
		}
		glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(frameBytes(width, height)), nullptr, GL_STREAM_READ);
		// No room for the frame: none kept until a size that fits.
		const bool room = glGetError() == GL_NO_ERROR;
		slot.width = room ? width : 0;
		slot.height = room ? height : 0;
		if (!room)
			return;
	}
	slot.serial = g_serial;
	slot.valid = readBackBuffer(width, height, nullptr);
}

// RGBA pixels, bottom row first, into an opaque image, top row first.
void copyRows(const u8* pixels, int width, int height, video::IImage* image)
{
	u8* dst = static_cast<u8*>(image->lock());
	const u32 pitch = image->getPitch();
	for (int y = 0; y < height; ++y)
	{
		const u8* src = pixels + static_cast<size_t>(height - 1 - y) * width * 4;
		u32* row = reinterpret_cast<u32*>(dst + y * pitch);
		for (int x = 0; x < width; ++x, src += 4)
			row[x] = video::SColor(255, src[0], src[1], src[2]).color;
	}
	image->unlock();
}

// The newest kept frame into an image; false when the buffer is not all there.
bool copyKeptFrame(video::IImage* image)
{
	const SKeptSlot& slot = g_slots[g_newest];
	const CPackBufferScope bound(slot.buffer);
	GLint bytes = 0;
	glGetBufferParameteriv(GL_PIXEL_PACK_BUFFER, GL_BUFFER_SIZE, &bytes);
	if (static_cast<size_t>(bytes) < frameBytes(slot.width, slot.height))
		return false;
	const u8* pixels = static_cast<const u8*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
	if (pixels)
		copyRows(pixels, slot.width, slot.height, image);
	return pixels && glUnmapBuffer(GL_PIXEL_PACK_BUFFER) == GL_TRUE;
}

// The back buffer into an image.
bool copyBackBuffer(video::IImage* image)
{
	const core::dimension2d<u32> size = image->getDimension();
	const int width = static_cast<int>(size.Width);
	const int height = static_cast<int>(size.Height);
	std::vector<u8> pixels(frameBytes(width, height));
	const CPackBufferScope bound(0);
	if (!readBackBuffer(width, height, pixels.data()))
		return false;
	copyRows(pixels.data(), width, height, image);
	return true;
}

// An image of `size` filled by `copy` (one reference for the caller), or null.
video::IImage* imageOf(video::IVideoDriver* driver, const core::dimension2d<u32>& size, bool (*copy)(video::IImage*))
{
	if (size.Width == 0 || size.Height == 0)
		return nullptr;
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, size);
	if (image && !copy(image))
	{
		image->drop();
		image = nullptr;
	}
	return image;
}

core::dimension2d<u32> presentedSize()
{
	return core::dimension2d<u32>(static_cast<u32>(g_presented.width), static_cast<u32>(g_presented.height));
}

// The frame last presented, as an image (one reference for the caller), or null.
video::IImage* presentedFrame(video::IVideoDriver* driver)
{
	if (!newestFrame())
	{
		const bool keeps = swapKeepsBackBuffer();
		if (keeps && driver->getScreenSize() == presentedSize())
			return imageOf(driver, presentedSize(), copyBackBuffer);
		if (!g_presented.redraw())
			return nullptr;
		const core::dimension2d<u32> size = driver->getScreenSize();
		if (keeps)
			return imageOf(driver, size, copyBackBuffer);
		// Shots asked again before the next present get this frame too.
		g_keepForShots = true;
		fitRing();
		keepFrame(static_cast<int>(size.Width), static_cast<int>(size.Height));
		if (!newestFrame())
			return imageOf(driver, size, copyBackBuffer);
	}
	const SKeptSlot& slot = g_slots[g_newest];
	return imageOf(driver, core::dimension2d<u32>(static_cast<u32>(slot.width), static_cast<u32>(slot.height)),
		copyKeptFrame);
}
} // namespace

bool zePresentFrame(ZeFrameRedraw redraw)
{
	SZeContext* c = zeGetContext();
	const core::dimension2d<u32> size = c->driver->getScreenSize();
	g_presented.redraw = redraw;
	g_presented.width = static_cast<int>(size.Width);
	g_presented.height = static_cast<int>(size.Height);
	++g_serial;
	if (!g_slots.empty() && onOpenGL())
		keepFrame(g_presented.width, g_presented.height);
	return c->driver->endScene();
}

video::IImage* zeGrabScreen()
{
	SZeContext* c = zeGetContext();
	video::IImage* image = onOpenGL() && g_presented.redraw ? presentedFrame(c->driver) : nullptr;
	if (!image)
		zeSetError(1, "failed to grab the screen\n");
	return image;
}

int zeScreenShot(const char* fileName)
{
	SZeContext* c = zeGetContext();
	video::IImage* image = zeGrabScreen();
	if (!image)
		return -1;
	const bool written = c->driver->writeImageToFile(image, fileName);
	image->drop();
	if (!written)
	{
		zeSetError(1, "failed to save screenshot to file '%s'\n", fileName);
		return -1;
	}
	return 0;
}

void zeStreamFrames(bool on)
{
	g_streaming = on;
	fitRing();
}

bool zeKeepPresentedFrame(SZeKeptFrame* frame)
{
	SZeContext* c = zeGetContext();
	if (!g_slots.empty() && onOpenGL() && g_presented.redraw && !newestFrame())
	{
		// Read now: from the back buffer where the swap left the frame there,
		// else from the frame drawn again.
		const bool there = swapKeepsBackBuffer() && c->driver->getScreenSize() == presentedSize();
		if (there || g_presented.redraw())
		{
			const core::dimension2d<u32> size = c->driver->getScreenSize();
			keepFrame(static_cast<int>(size.Width), static_cast<int>(size.Height));
		}
	}
	const SKeptSlot* slot = newestFrame();
	if (!slot)
	{
		zeSetError(1, "failed to grab the screen\n");
		return false;
	}
	*frame = SZeKeptFrame{ slot->serial, slot->width, slot->height };
	return true;
}

bool zeCopyKeptFrame(const SZeKeptFrame& frame, void* pixels)
{
	for (const SKeptSlot& slot : g_slots)
		if (slot.valid && slot.serial == frame.serial && slot.width == frame.width && slot.height == frame.height)
		{
			const CPackBufferScope bound(slot.buffer);
			while (glGetError() != GL_NO_ERROR)
			{
			}
			glGetBufferSubData(
				GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(frameBytes(frame.width, frame.height)), pixels);
			return glGetError() == GL_NO_ERROR;
		}
	return false;
}

void zeResetFrameGrab()
{
	if (onOpenGL())
		for (SKeptSlot& slot : g_slots)
			if (slot.buffer)
				glDeleteBuffers(1, &slot.buffer);
	g_slots.clear();
	g_newest = 0;
	g_presented = SPresented();
	g_keepForShots = false;
	g_streaming = false;
}

void zeSetSwapKeepsBackBufferForTests(int keeps)
{
	g_swapKeepsOverride = keeps < 0 ? -1 : (keeps ? 1 : 0);
}
