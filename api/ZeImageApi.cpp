#include "api/ZeImageApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeObjectSurfaceApi.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"

#include <cstdio>

using namespace irr;

namespace
{
const char* const LOOKUP = "Image ID %d does not exist. %s";

int g_pasteColour = 0xFFFFFF;
int g_pasteAlpha = 255;

SZeImageItem* findImage(int id)
{
	return static_cast<SZeImageItem*>(zeFindApiItem(EZEIT_IMAGE, id, LOOKUP));
}

u32 pasteColour()
{
	return static_cast<u32>(g_pasteAlpha & 0xFF) << 24 | (static_cast<u32>(g_pasteColour) & 0xFFFFFFu);
}

// The record of a new image, or null after reporting a refused ID.
SZeImageItem* addImage(int id)
{
	return static_cast<SZeImageItem*>(
		zeAddApiItem(EZEIT_IMAGE, id, sizeof(SZeImageItem), 2, "invalid Image ID %d : %s"));
}

// Keeps the texture in the record: 0, or -1 when there is none (the caller
// has reported why) with the ID freed again.
int keepTexture(int id, SZeImageItem* item, video::ITexture* texture, int made)
{
	if (!texture)
	{
		zeRemoveApiItem(EZEIT_IMAGE, id, item);
		return -1;
	}
	item->texture = texture;
	item->made = made;
	return 0;
}
} // namespace

int zeLoadImage(const char* path, int id)
{
	SZeImageItem* item = addImage(id);
	if (!item)
		return -1;
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::ITexture* texture = driver && path && *path ? driver->getTexture(path) : nullptr;
	if (!texture)
		zeSetError(1, "Failed to load image '%s'", path ? path : "");
	return keepTexture(id, item, texture, 0);
}

int zeMakeImage(int width, int height, int id)
{
	SZeImageItem* item = addImage(id);
	if (!item)
		return -1;
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::ITexture* texture = nullptr;
	if (driver && width > 0 && height > 0)
	{
		char name[32];
		std::snprintf(name, sizeof(name), "zeRtImage%d", id);
		const bool mipMaps = driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
		texture = driver->addRenderTargetTexture(
			core::dimension2d<u32>(static_cast<u32>(width), static_cast<u32>(height)), name, video::ECF_A8R8G8B8);
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
	}
	if (!texture)
		zeSetError(1, "Failed to make image");
	return keepTexture(id, item, texture, 1);
}

void zeDeleteImage(int id)
{
	SZeImageItem* item = static_cast<SZeImageItem*>(zePeekApiItem(EZEIT_IMAGE, id));
	if (!item)
		return;
	video::IVideoDriver* driver = zeGetContext()->driver;
	if (item->made && item->texture && driver)
	{
		zeUnbindTextureFromObjects(item->texture);
		driver->removeTexture(item->texture);
	}
	zeRemoveApiItem(EZEIT_IMAGE, id, item);
}

int zeImageExist(int id)
{
	return zePeekApiItem(EZEIT_IMAGE, id) ? 1 : 0;
}

int zeImageWidth(int id)
{
	const SZeImageItem* item = findImage(id);
	return item ? static_cast<int>(item->texture->getSize().Width) : 0;
}

int zeImageHeight(int id)
{
	const SZeImageItem* item = findImage(id);
	return item ? static_cast<int>(item->texture->getSize().Height) : 0;
}

video::ITexture* zeGetImageTexture(int id)
{
	const SZeImageItem* item = static_cast<SZeImageItem*>(zePeekApiItem(EZEIT_IMAGE, id));
	return item ? item->texture : nullptr;
}

int zeRenderToImage(int id, int clear)
{
	const SZeImageItem* item = findImage(id);
	if (!item)
		return -1;
	if (!item->texture->isRenderTarget())
	{
		zeSetError(1, "Image ID %d is not renderable", id);
		return -1;
	}
	return zeRenderToTexture(item->texture, clear);
}

int zePasteImage(int id, int x, int y, int transparent)
{
	const SZeImageItem* item = findImage(id);
	return item ? zeDrawListAddImage(item->texture, x, y, -1, -1, transparent, pasteColour()) : -1;
}

int zePasteImageStretch(int id, int x1, int y1, int x2, int y2, int transparent)
{
	const SZeImageItem* item = findImage(id);
	return item ? zeDrawListAddImage(item->texture, x1, y1, x2, y2, transparent, pasteColour()) : -1;
}

int zePasteImageWithEffect(int id, int x1, int y1, int x2, int y2, int effectId)
{
	const SZeImageItem* item = findImage(id);
	if (!item)
		return -1;
	if (!zeFindApiItem(EZEIT_EFFECT, effectId, "Effect ID %d does not exist. %s", 6))
		return -1;
	return zeDrawListAddImageWithEffect(item->texture, x1, y1, x2, y2, pasteColour(), effectId);
}

void zeSetImageColor(int rgb)
{
	g_pasteColour = rgb & 0xFFFFFF;
}

void zeSetImageAlpha(int alpha)
{
	g_pasteAlpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
}
