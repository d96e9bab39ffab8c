// 2D drawing, text, fades and the loading screen of the system layer. Drawing
// calls queue commands on the frame's 2D list (at most 1,024 commands and 64
// texts), drawn in order at the frame end, which starts a new list. The drawn
// list is kept until the next frame end, for drawing that frame again.
#pragma once

#include <irrlicht.h>

const int ZE_MAX_2D_COMMANDS = 1024;
const int ZE_MAX_2D_TEXTS = 64;

// Ink: 24-bit colour (initially 0xFFFFFF) and alpha (initially 255, clamped).
void zeInk(int rgb);
void zeInkAlpha(int alpha);

// Queue a filled rectangle or a line in ink colour and alpha; 0, or -1 with
// the pending error "too many 2D draws in one frame".
int zeBox(int x1, int y1, int x2, int y2);
int zeLine(int x1, int y1, int x2, int y2);
// A rectangle drawn through an effect; "Effect ID %d does not exist. %s" (5).
int zeBoxWithEffect(int x1, int y1, int x2, int y2, int effectId);
// Images; x2 = y2 = -1 draws at natural size. colour is 0xAARRGGBB.
int zeDrawListAddImage(irr::video::ITexture* texture, int x, int y, int x2, int y2, int transparent, irr::u32 colour);
int zeDrawListAddImageWithEffect(irr::video::ITexture* texture, int x1, int y1, int x2, int y2, irr::u32 colour, int effectId);

// Formats and queues a text in the current font, text colour and alpha.
int zeText(int x, int y, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Loads a font and makes it current; null selects the built-in font. 0, or -1
// with "The font '%s' cannot be loaded" (1) for a name that is not a regular,
// readable file through the file layer (an empty name included) or that the
// library cannot read as a font; the current font then stays.
int zeSetTextFont(const char* file);
// The current font's name, or null for the built-in font.
const char* zeTextFont();
void zeSetTextColor(int rgb);
void zeSetTextAlpha(int alpha);
int zeTextColor();
int zeTextAlpha();
int zeTextWidth(const char* format, ...) __attribute__((format(printf, 1, 2)));
int zeTextHeight(const char* format, ...) __attribute__((format(printf, 1, 2)));

int zeRGB(int r, int g, int b);
int zeRGBf(float r, float g, float b);

// Replace the screen fader by one fading in or out over `time` ms in `colour`.
void zeFadeIn(int time, int colour);
void zeFadeOut(int time, int colour);
void zeStopFade();

// The loading screen: a progress bar over the backdrop, presented at once.
void zeShowLoadingScreen(int percent);
void zeLoadingScreenBegin();
void zeLoadingScreenProgress(int percent);
void zeLoadingScreenEnd();

// An empty operation.
void zeNoOp(...);

// Draws the frame's 2D list in order and starts a new one (the frame end calls it).
void zeDraw2DList();
// What every frame end draws over the scene: the GUI, then the 2D list (the
// last frame end's list once more when `again`, for a frame drawn again).
void zeDrawOverFrame(bool again);
// Empties both lists without drawing; resets the 2D state (set-up calls it).
void zeReset2D();
// The number of commands queued for the coming frame end.
int zeGet2DCommandCount();
