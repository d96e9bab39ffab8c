// The cube map: a cube render texture "CubeMap<n>" and an optional lat-long
// 2D render texture "CubeMap<n>LatLong" (n counts the maps made), captured
// and cleared through the render services.
#pragma once

#include "core/IZeCubeMap.h"
#include "core/IZeManager.h"
#include "libext/ZeTextureExt.h"

class CZeCubeMap : public IZeCubeMap
{
public:
	// Neither is held; both must outlive the map.
	CZeCubeMap(irr::video::IVideoDriver* driver, IZeManager* manager);
	// Removes each texture from the driver unless something else still holds it.
	~CZeCubeMap() override;
	CZeCubeMap(const CZeCubeMap&) = delete;
	CZeCubeMap& operator=(const CZeCubeMap&) = delete;

	bool create(irr::u32 size, ze::ECOLOR_FORMAT format, bool withLatLong) override;
	bool render(IZeRenderer* renderer, const irr::core::vector3df& position) override;
	void clear() override;
	irr::video::ITexture* getTexture() const override;
	bool isRendered() const override { return Rendered != 0; }
	const irr::core::vector3df& getPosition() const override { return Position; }
	irr::video::ITexture* getCubeTexture() const override { return Cube; }
	irr::video::ITexture* getLatLongTexture() const override { return LatLong; }

	// The height of the lat-long copy of a cube of `size` per face (its width is twice that).
	static irr::u32 getLatLongHeight(irr::u32 size);

private:
	irr::video::IVideoDriver* Driver;
	IZeManager* Manager;
	ze::ITextureCUBE* Cube = nullptr;         // held, and by the texture registry
	irr::video::ITexture* LatLong = nullptr;  // held, and by the driver
	irr::core::vector3df Position;
	irr::u8 Rendered = 0;
	irr::u8 HasLatLong = 0;
};

// Writes each vertex's running index (from 0, over the buffers in order) into
// its colour; buffers of vertex kinds other than standard, two-coordinate and
// tangent vertices are skipped without advancing the index.
void zeWriteVertexIndicesToColor(irr::scene::IMesh* mesh);
