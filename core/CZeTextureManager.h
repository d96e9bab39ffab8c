// The texture manager of the engine core: textures by file and kind, render
// textures by size and format.
#pragma once

#include "core/IZeServices.h"

#include <map>
#include <string>
#include <tuple>

class CZeTextureManager : public IZeTextureManager
{
public:
	explicit CZeTextureManager(irr::video::IVideoDriver* driver);
	~CZeTextureManager() override;

	irr::video::ITexture* getTexture(const char* path, bool mipMaps) override;
	irr::video::ITexture* getTextureOfKind(const char* path, ze::E_TEXTURE_KIND kind) override;
	irr::video::ITexture* getTextureAuto(const char* path, bool mipMaps) override;
	irr::video::ITexture* findTexture(const char* name) override;
	irr::video::ITexture* getCurlNoise3DTexture() override;
	irr::video::ITexture* getRenderTexture(const irr::core::dimension2d<irr::u32>& size, ze::ECOLOR_FORMAT format) override;
	void setTextureFolder(const char* folder) override;
	irr::video::ITexture* createMeshVertexTexture(irr::scene::IMesh* mesh, const char* name, bool withNormals,
		irr::u32 width, bool fullFloat) override;

private:
	// The full name a path opens under (as found, then in the texture
	// folder); "" when it is nowhere.
	std::string resolve(const char* path) const;
	// A cube or volume texture made from the image of a resolved file.
	irr::video::ITexture* makeFromImage(const std::string& name, irr::video::IImage* image, ze::E_TEXTURE_KIND kind);
	irr::video::ITexture* keep(const std::string& key, irr::video::ITexture* texture);

	irr::video::IVideoDriver* Driver;
	std::string Folder;
	// Loaded textures by "<kind>:<full name>", one reference held each.
	std::map<std::string, irr::video::ITexture*> Loaded;
	// "CurlNoise3D" could not be made: not tried again.
	bool CurlNoiseFailed = false;
	// Render textures by (width, height, format), one reference held each.
	std::map<std::tuple<irr::u32, irr::u32, int>, irr::video::ITexture*> RenderTextures;
};
