// Images addressed by ID (the image table of the engine context, IDs 0 to
// 999): textures loaded from files or made as render targets, pasted on the
// frame's 2D list. Functions taking an ID report "Image ID %d does not exist.
// %s" (argument 1) for a missing one, except the exist, get and delete
// functions.
#pragma once

#include <irrlicht.h>

// Takes the driver's texture for the file: 0, or -1 with "invalid Image ID %d
// : %s" (2) or "Failed to load image '%s'" (1, the ID freed again).
int zeLoadImage(const char* path, int id);
// A render-target texture of that size (A8R8G8B8, no mip-maps) named
// "zeRtImage" followed by the ID: 0, or -1 with "invalid Image ID %d : %s" (2)
// or "Failed to make image" (1, the ID freed again).
int zeMakeImage(int width, int height, int id);
// Frees the ID. A made image's render target leaves the driver, after every
// object's surfaces and materials have let go of it; a loaded image's texture
// stays the driver's. A missing ID is ignored.
void zeDeleteImage(int id);
// 1 when the ID holds an image, else 0; never reports.
int zeImageExist(int id);
// The texture's size; 0 on error.
int zeImageWidth(int id);
int zeImageHeight(int id);
// The image's texture, or null; never reports.
irr::video::ITexture* zeGetImageTexture(int id);
// Renders the scene into the image (cleared first when clear is not 0) and
// selects the back buffer again: 0, or -1 ("Image ID %d is not renderable"
// (1) for an image that is no render target).
int zeRenderToImage(int id, int clear);
// Queue the image on the 2D list at its own size, stretched into a
// rectangle, or into a rectangle through an effect ("Effect ID %d does not
// exist. %s" (6)), in the paste colour and alpha: 0, or -1 (also "too many 2D
// draws in one frame" (-1)).
int zePasteImage(int id, int x, int y, int transparent);
int zePasteImageStretch(int id, int x1, int y1, int x2, int y2, int transparent);
int zePasteImageWithEffect(int id, int x1, int y1, int x2, int y2, int effectId);
// The paste colour (24-bit RGB, initially white) and alpha (initially 255).
void zeSetImageColor(int rgb);
void zeSetImageAlpha(int alpha);
