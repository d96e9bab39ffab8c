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

// Once the back buffer was found lost, every frame is read just before it is
// presented into a pixel buffer on the GPU, so the frame does not wait for
// the read; a screenshot maps it.
struct SKeptFrame
{
	GLuint buffer = 0;
	int width = 0;
	int height = 0;
	bool valid = false;  // holds the frame last presented
} g_kept;
bool g_keepFrames = false;

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
// GL error.
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

// Reads the frame about to be presented into the kept pixel buffer.
void keepFrame(int width, int height)
{
	if (!g_kept.buffer)
		glGenBuffers(1, &g_kept.buffer);
	const CPackBufferScope bound(g_kept.buffer);
	g_kept.valid = false;
	if (width != g_kept.width || height != g_kept.height)
	{
		while (glGetError() != GL_NO_ERROR)
		{
		}
		glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(width) * height * 4, nullptr, GL_STREAM_READ);
		// No room for the frame: none kept until a size that fits.
		const bool room = glGetError() == GL_NO_ERROR;
		g_kept.width = room ? width : 0;
		g_kept.height = room ? height : 0;
		if (!room)
			return;
	}
	g_kept.valid = readBackBuffer(width, height, nullptr);
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

// The kept frame into an image; false when the buffer is not all there.
bool copyKeptFrame(video::IImage* image)
{
	const CPackBufferScope bound(g_kept.buffer);
	GLint bytes = 0;
	glGetBufferParameteriv(GL_PIXEL_PACK_BUFFER, GL_BUFFER_SIZE, &bytes);
	if (static_cast<size_t>(bytes) < static_cast<size_t>(g_kept.width) * g_kept.height * 4)
		return false;
	const u8* pixels = static_cast<const u8*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
	if (pixels)
		copyRows(pixels, g_kept.width, g_kept.height, image);
	return pixels && glUnmapBuffer(GL_PIXEL_PACK_BUFFER) == GL_TRUE;
}

// The back buffer into an image.
bool copyBackBuffer(video::IImage* image)
{
	const core::dimension2d<u32> size = image->getDimension();
	const int width = static_cast<int>(size.Width);
	const int height = static_cast<int>(size.Height);
	std::vector<u8> pixels(static_cast<size_t>(width) * height * 4);
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

// The frame last presented, as an image (one reference for the caller), or null.
video::IImage* presentedFrame(video::IVideoDriver* driver)
{
	if (!g_kept.valid)
	{
		const core::dimension2d<u32> presented(static_cast<u32>(g_presented.width), static_cast<u32>(g_presented.height));
		const bool keeps = swapKeepsBackBuffer();
		if (keeps && driver->getScreenSize() == presented)
			return imageOf(driver, presented, copyBackBuffer);
		if (!g_presented.redraw())
			return nullptr;
		const core::dimension2d<u32> size = driver->getScreenSize();
		if (keeps)
			return imageOf(driver, size, copyBackBuffer);
		// Shots asked again before the next present get this frame too.
		g_keepFrames = true;
		keepFrame(static_cast<int>(size.Width), static_cast<int>(size.Height));
		if (!g_kept.valid)
			return imageOf(driver, size, copyBackBuffer);
	}
	return imageOf(driver, core::dimension2d<u32>(static_cast<u32>(g_kept.width), static_cast<u32>(g_kept.height)),
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
	if (g_keepFrames && onOpenGL())
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

void zeResetFrameGrab()
{
	if (g_kept.buffer && onOpenGL())
		glDeleteBuffers(1, &g_kept.buffer);
	g_kept = SKeptFrame();
	g_presented = SPresented();
	g_keepFrames = false;
}

void zeSetSwapKeepsBackBufferForTests(int keeps)
{
	g_swapKeepsOverride = keeps < 0 ? -1 : (keeps ? 1 : 0);
}
