// A cube map: the scene captured around a point into a cube render texture,
// with an optional latitude-longitude copy in a 2D render texture.
#pragma once

#include "libext/ZeColorFormat.h"

#include <irrlicht.h>

class IZeRenderer;

class IZeCubeMap : public virtual irr::IReferenceCounted
{
public:
	// Makes the cube texture of `size` per face (and the lat-long texture of
	// 2h by h when asked); false when textures exist already or cannot be made.
	virtual bool create(irr::u32 size, ze::ECOLOR_FORMAT format, bool withLatLong) = 0;
	// Captures the six faces at the position through the renderer, then the
	// lat-long copy. true when all six faces were captured; only then is the
	// lat-long copy made and the map counts as rendered (a refused face leaves
	// it not rendered).
	virtual bool render(IZeRenderer* renderer, const irr::core::vector3df& position) = 0;
	// Clears both textures; the map then counts as not rendered.
	virtual void clear() = 0;
	// The lat-long texture for a map made with it, else the cube texture.
	virtual irr::video::ITexture* getTexture() const = 0;
	// True once rendered since the last clear or creation.
	virtual bool isRendered() const = 0;
	// The last capture position.
	virtual const irr::core::vector3df& getPosition() const = 0;

	// The cube texture and the lat-long texture (null when none).
	virtual irr::video::ITexture* getCubeTexture() const = 0;
	virtual irr::video::ITexture* getLatLongTexture() const = 0;
};
