#include "frame/ZeDraw2D.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <cstdarg>
#include <cstdio>
#include <string>

using namespace irr;

namespace
{
enum EDrawKind
{
	EDK_TEXT,
	EDK_IMAGE,
	EDK_LINE,
	EDK_RECTANGLE,
	EDK_RECTANGLE_EFFECT,
	EDK_IMAGE_EFFECT
};

struct SDrawCommand
{
	EDrawKind kind;
	int x1, y1, x2, y2;
	u32 colour;
	video::ITexture* texture;  // grabbed while queued
	gui::IGUIFont* font;       // null: the built-in font
	bool transparent;
	int effectId;
	int text;                  // index into the list's texts
};

const int TEXT_CHARS = 1024;
const u32 WHITE = 0xFFFFFF;

struct SDrawList
{
	SDrawCommand commands[ZE_MAX_2D_COMMANDS];
	int commandCount = 0;
	char texts[ZE_MAX_2D_TEXTS][TEXT_CHARS + 1];
	int textCount = 0;
};
// The list being queued for the coming frame end, and the list the last frame
// end drew, kept until the next one so that the frame can be drawn again.
SDrawList g_lists[2];
SDrawList* g_queued = &g_lists[0];
SDrawList* g_drawn = &g_lists[1];

u32 g_ink = WHITE;
int g_inkAlpha = 255;
u32 g_textColour = WHITE;
int g_textAlpha = 255;
gui::IGUIFont* g_font = nullptr;  // null: the built-in font
std::string g_fontName;

// Stands in for the effect table while the engine is not set up, so that a
// missing ID reads the same either way.
void* g_noSlots[ZE_ID_TABLE_CAPACITY];
SZeIdTable g_noEffects = {ZE_ID_TABLE_CAPACITY, -1, g_noSlots};

int clampAlpha(int alpha)
{
	return alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
}

u32 joined(u32 rgb, int alpha)
{
	return static_cast<u32>(alpha) << 24 | (rgb & 0xFFFFFF);
}

// Drops the commands of a list from `count` on (their textures with them).
void cutList(SDrawList* list, int count, int textCount)
{
	for (int i = count; i < list->commandCount; ++i)
		if (list->commands[i].texture)
			list->commands[i].texture->drop();
	list->commandCount = count;
	list->textCount = textCount;
}

// The next free command, or null with the pending error when the list is full.
SDrawCommand* newCommand(EDrawKind kind, bool withText)
{
	if (g_queued->commandCount >= ZE_MAX_2D_COMMANDS || (withText && g_queued->textCount >= ZE_MAX_2D_TEXTS))
	{
		zeSetError(-1, "too many 2D draws in one frame");
		return nullptr;
	}
	SDrawCommand* c = &g_queued->commands[g_queued->commandCount++];
	*c = SDrawCommand();
	c->kind = kind;
	c->effectId = -1;
	c->text = -1;
	return c;
}

void setRectangle(SDrawCommand* c, int x1, int y1, int x2, int y2)
{
	c->x1 = x1 < x2 ? x1 : x2;
	c->x2 = x1 < x2 ? x2 : x1;
	c->y1 = y1 < y2 ? y1 : y2;
	c->y2 = y1 < y2 ? y2 : y1;
}

void setImageRectangle(SDrawCommand* c, video::ITexture* texture, int x1, int y1, int x2, int y2)
{
	if (x2 == -1 && y2 == -1)
	{
		const core::dimension2d<u32> size = texture->getOriginalSize();
		x2 = x1 + static_cast<int>(size.Width);
		y2 = y1 + static_cast<int>(size.Height);
	}
	setRectangle(c, x1, y1, x2, y2);
}

bool effectExists(int effectId, int argument)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_EFFECT);
	if (zeIdTableGet(table ? table : &g_noEffects, effectId))
		return true;
	zeSetError(argument, "Effect ID %d does not exist. %s", effectId, zeGetIdTableError());
	return false;
}

gui::IGUIFont* currentFont()
{
	return g_font ? g_font : zeGetContext()->builtInFont;
}

core::dimension2d<u32> measure(const char* format, va_list args)
{
	gui::IGUIFont* font = zeGetContext()->device ? currentFont() : nullptr;
	if (!font)
		return core::dimension2d<u32>(0, 0);
	char text[TEXT_CHARS + 1];
	vsnprintf(text, sizeof(text), format, args);
	return font->getDimension(core::stringw(text).c_str());
}

void drawImage(const SDrawCommand& c, video::IVideoDriver* driver)
{
	const core::dimension2d<u32> size = c.texture->getOriginalSize();
	const video::SColor colours[4] = {c.colour, c.colour, c.colour, c.colour};
	driver->draw2DImage(c.texture, core::rect<s32>(c.x1, c.y1, c.x2, c.y2),
		core::rect<s32>(0, 0, static_cast<s32>(size.Width), static_cast<s32>(size.Height)), nullptr, colours,
		c.transparent);
}

void drawText(const SDrawList& list, const SDrawCommand& c)
{
	gui::IGUIFont* font = c.font ? c.font : zeGetContext()->builtInFont;
	if (!font)
		return;
	const core::stringw text(list.texts[c.text]);
	const core::dimension2d<u32> size = font->getDimension(text.c_str());
	font->draw(text, core::rect<s32>(c.x1, c.y1, c.x1 + static_cast<s32>(size.Width), c.y1 + static_cast<s32>(size.Height)),
		video::SColor(c.colour));
}
} // namespace

void zeInk(int rgb)
{
	g_ink = static_cast<u32>(rgb) & 0xFFFFFF;
}

void zeInkAlpha(int alpha)
{
	g_inkAlpha = clampAlpha(alpha);
}

int zeBox(int x1, int y1, int x2, int y2)
{
	SDrawCommand* c = newCommand(EDK_RECTANGLE, false);
	if (!c)
		return -1;
	setRectangle(c, x1, y1, x2, y2);
	c->colour = joined(g_ink, g_inkAlpha);
	return 0;
}

int zeLine(int x1, int y1, int x2, int y2)
{
	SDrawCommand* c = newCommand(EDK_LINE, false);
	if (!c)
		return -1;
	c->x1 = x1;
	c->y1 = y1;
	c->x2 = x2;
	c->y2 = y2;
	c->colour = joined(g_ink, g_inkAlpha);
	return 0;
}

int zeBoxWithEffect(int x1, int y1, int x2, int y2, int effectId)
{
	if (!effectExists(effectId, 5))
		return -1;
	SDrawCommand* c = newCommand(EDK_RECTANGLE_EFFECT, false);
	if (!c)
		return -1;
	setRectangle(c, x1, y1, x2, y2);
	c->colour = joined(g_ink, g_inkAlpha);
	c->effectId = effectId;
	return 0;
}

int zeDrawListAddImage(video::ITexture* texture, int x, int y, int x2, int y2, int transparent, u32 colour)
{
	if (!texture)
	{
		zeSetError(1, "the image to draw does not exist");
		return -1;
	}
	SDrawCommand* c = newCommand(EDK_IMAGE, false);
	if (!c)
		return -1;
	setImageRectangle(c, texture, x, y, x2, y2);
	c->colour = colour;
	c->transparent = transparent != 0;
	c->texture = texture;
	texture->grab();
	return 0;
}

int zeDrawListAddImageWithEffect(video::ITexture* texture, int x1, int y1, int x2, int y2, u32 colour, int effectId)
{
	if (!texture)
	{
		zeSetError(1, "the image to draw does not exist");
		return -1;
	}
	if (!effectExists(effectId, 7))
		return -1;
	SDrawCommand* c = newCommand(EDK_IMAGE_EFFECT, false);
	if (!c)
		return -1;
	setImageRectangle(c, texture, x1, y1, x2, y2);
	c->colour = colour;
	c->effectId = effectId;
	c->texture = texture;
	texture->grab();
	return 0;
}

int zeText(int x, int y, const char* format, ...)
{
	SDrawCommand* c = newCommand(EDK_TEXT, true);
	if (!c)
		return -1;
	c->text = g_queued->textCount++;
	char* text = g_queued->texts[c->text];
	text[0] = 0;
	if (format)
	{
		va_list args;
		va_start(args, format);
		vsnprintf(text, sizeof(g_queued->texts[c->text]), format, args);
		va_end(args);
	}
	c->x1 = x;
	c->y1 = y;
	c->colour = joined(g_textColour, g_textAlpha);
	c->font = g_font;
	return 0;
}

int zeSetTextFont(const char* file)
{
	if (!file)
	{
		g_font = nullptr;
		g_fontName.clear();
		return 0;
	}
	// The library's font loader aborts on a name that is no file (a folder,
	// "." or ""): only a regular file that opens for reading goes to it, by
	// the path the file layer found it under.
	SZeContext* context = zeGetContext();
	gui::IGUIFont* font =
		context->gui && zeFileExist(file) ? context->gui->getFont(zeFileGetFullPath(file)) : nullptr;
	if (!font)
	{
		zeSetError(1, "The font '%s' cannot be loaded", file);
		return -1;
	}
	g_font = font;
	g_fontName = file;
	return 0;
}

const char* zeTextFont()
{
	return g_font ? g_fontName.c_str() : nullptr;
}

void zeSetTextColor(int rgb)
{
	g_textColour = static_cast<u32>(rgb) & 0xFFFFFF;
}

void zeSetTextAlpha(int alpha)
{
	g_textAlpha = clampAlpha(alpha);
}

int zeTextColor()
{
	return static_cast<int>(g_textColour);
}

int zeTextAlpha()
{
	return g_textAlpha;
}

int zeTextWidth(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	const core::dimension2d<u32> size = measure(format, args);
	va_end(args);
	return static_cast<int>(size.Width);
}

int zeTextHeight(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	const core::dimension2d<u32> size = measure(format, args);
	va_end(args);
	return static_cast<int>(size.Height);
}

int zeRGB(int r, int g, int b)
{
	// Shifted as bits, so that a negative component cannot make the shift undefined.
	return static_cast<int>(static_cast<unsigned>(r) << 16 | static_cast<unsigned>(g) << 8 | static_cast<unsigned>(b));
}

int zeRGBf(float r, float g, float b)
{
	return zeRGB(static_cast<int>(r * 255) & 0xFF, static_cast<int>(g * 255) & 0xFF, static_cast<int>(b * 255) & 0xFF);
}

namespace
{
gui::IGUIInOutFader* newFader(int colour)
{
	SZeContext* context = zeGetContext();
	if (!context->gui || !context->driver)
		return nullptr;
	zeStopFade();
	const core::dimension2d<u32> screen = context->driver->getScreenSize();
	const core::rect<s32> area(0, 0, static_cast<s32>(screen.Width), static_cast<s32>(screen.Height));
	context->fader = context->gui->addInOutFader(&area);
	if (!context->fader)
		return nullptr;
	u32 c = static_cast<u32>(colour);
	if ((c >> 24) == 0)
		c |= 0xFF000000;
	context->fader->setColor(video::SColor(c));
	return context->fader;
}
} // namespace

void zeFadeIn(int time, int colour)
{
	if (gui::IGUIInOutFader* fader = newFader(colour))
		fader->fadeIn(static_cast<u32>(time < 0 ? 0 : time));
}

void zeFadeOut(int time, int colour)
{
	if (gui::IGUIInOutFader* fader = newFader(colour))
		fader->fadeOut(static_cast<u32>(time < 0 ? 0 : time));
}

void zeStopFade()
{
	SZeContext* context = zeGetContext();
	if (context->fader)
		context->fader->remove();
	context->fader = nullptr;
}

namespace
{
int g_loadingPercent = 0;  // of the last loading screen drawn

// The loading screen at g_loadingPercent into the back buffer; false when the
// scene cannot begin.
bool drawLoadingScreen()
{
	SZeContext* context = zeGetContext();
	video::IVideoDriver* driver = context->driver;
	if (!driver->beginScene(true, true, context->backdrop))
		return false;
	const int percent = g_loadingPercent;

	// A bar half the screen wide, three quarters down, in a colour that shows
	// on the backdrop.
	const video::SColor& back = context->backdrop;
	const bool darkInk = back.getRed() + back.getGreen() + back.getBlue() > 3 * 128;
	const video::SColor ink = darkInk ? video::SColor(255, 32, 32, 32) : video::SColor(255, 230, 230, 230);
	const core::dimension2d<u32> screen = driver->getScreenSize();
	const s32 w = static_cast<s32>(screen.Width);
	const s32 h = static_cast<s32>(screen.Height);
	const s32 barW = w / 2;
	const s32 barH = h / 30 < 8 ? 8 : h / 30;
	const s32 left = (w - barW) / 2;
	const s32 top = h * 3 / 4;
	driver->draw2DRectangleOutline(core::recti(left, top, left + barW, top + barH), ink);
	const s32 filled = (barW - 4) * percent / 100;
	if (filled > 0)
		driver->draw2DRectangle(ink, core::recti(left + 2, top + 2, left + 2 + filled, top + barH - 2));

	if (gui::IGUIFont* font = context->builtInFont)
	{
		wchar_t text[32];
		swprintf(text, 32, L"Loading... %d%%", percent);
		const core::dimension2d<u32> size = font->getDimension(text);
		const s32 tx = (w - static_cast<s32>(size.Width)) / 2;
		const s32 ty = top - 4 - static_cast<s32>(size.Height);
		font->draw(text, core::recti(tx, ty, tx + static_cast<s32>(size.Width), ty + static_cast<s32>(size.Height)), ink);
	}
	return true;
}
} // namespace

void zeShowLoadingScreen(int percent)
{
	SZeContext* context = zeGetContext();
	if (!context->device || !context->driver || context->device->isWindowMinimized())
		return;
	g_loadingPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
	if (drawLoadingScreen())
		zePresentFrame(drawLoadingScreen);
}

void zeLoadingScreenBegin()
{
	zeShowLoadingScreen(0);
}

void zeLoadingScreenProgress(int percent)
{
	zeShowLoadingScreen(percent);
}

void zeLoadingScreenEnd()
{
	zeShowLoadingScreen(100);
}

void zeNoOp(...)
{
}

namespace
{
// Draws a list in order. Commands that the effect hooks queue meanwhile are dropped.
void drawList(const SDrawList& list, video::IVideoDriver* driver)
{
	const SZeEngineHooks& hooks = zeGetEngineHooks();
	const int queued = g_queued->commandCount;
	const int queuedTexts = g_queued->textCount;
	int skippedBoxes = 0;
	int skippedImages = 0;
	const int count = list.commandCount;
	for (int i = 0; i < count; ++i)
	{
		const SDrawCommand& c = list.commands[i];
		switch (c.kind)
		{
		case EDK_TEXT:
			drawText(list, c);
			break;
		case EDK_IMAGE:
			drawImage(c, driver);
			break;
		case EDK_LINE:
			driver->draw2DLine(core::position2d<s32>(c.x1, c.y1), core::position2d<s32>(c.x2, c.y2), video::SColor(c.colour));
			break;
		case EDK_RECTANGLE:
			driver->draw2DRectangle(video::SColor(c.colour), core::rect<s32>(c.x1, c.y1, c.x2, c.y2));
			break;
		case EDK_RECTANGLE_EFFECT:
			if (hooks.drawBoxWithEffect)
				hooks.drawBoxWithEffect(c.x1, c.y1, c.x2, c.y2, c.effectId, c.colour);
			else
				++skippedBoxes;
			break;
		case EDK_IMAGE_EFFECT:
			if (hooks.drawImageWithEffect)
				hooks.drawImageWithEffect(c.texture, c.x1, c.y1, c.x2, c.y2, c.colour, c.effectId);
			else
				++skippedImages;
			break;
		}
	}
	cutList(g_queued, queued, queuedTexts);
	if (skippedBoxes || skippedImages)
		zeLog(EZELL_WARN, "ZeDraw2D: no effect renderer; skipped %d box(es) with effect and %d image(s) with effect",
			skippedBoxes, skippedImages);
}
} // namespace

void zeDraw2DList()
{
	SZeContext* context = zeGetContext();
	cutList(g_drawn, 0, 0);
	if (context->device && context->driver)
		drawList(*g_queued, context->driver);
	else
		cutList(g_queued, 0, 0);
	SDrawList* drawn = g_queued;
	g_queued = g_drawn;
	g_drawn = drawn;
}

void zeDrawOverFrame(bool again)
{
	SZeContext* context = zeGetContext();
	if (context->gui)
		context->gui->drawAll();
	if (!again)
		zeDraw2DList();
	else if (context->device && context->driver)
		drawList(*g_drawn, context->driver);
}

void zeReset2D()
{
	// Only listed textures are dropped: they hold a reference of their own.
	cutList(g_queued, 0, 0);
	cutList(g_drawn, 0, 0);
	g_ink = WHITE;
	g_inkAlpha = 255;
	g_textColour = WHITE;
	g_textAlpha = 255;
	g_font = nullptr;
	g_fontName.clear();
}

int zeGet2DCommandCount()
{
	return g_queued->commandCount;
}
