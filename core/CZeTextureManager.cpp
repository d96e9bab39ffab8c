#include "core/CZeTextureManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"

#include <cstdio>

using namespace irr;

namespace
{
const char* kindName(ze::E_TEXTURE_KIND kind)
{
	switch (kind)
	{
	case ze::ETK_2D: return "2D";
	case ze::ETK_3D: return "3D";
	case ze::ETK_CUBE: return "CUBE";
	default: return "INDIRECT";
	}
}
} // namespace

CZeTextureManager::CZeTextureManager(video::IVideoDriver* driver) : Driver(driver)
{
}

CZeTextureManager::~CZeTextureManager()
{
	for (auto& entry : Loaded)
		entry.second->drop();
	for (auto& entry : RenderTextures)
		entry.second->drop();
}

std::string CZeTextureManager::resolve(const char* path) const
{
	const char* found = zeFindDataFile(path);
	if (zeFileExist(found))
		return zeFileGetFullPath(found);
	if (!Folder.empty())
	{
		const std::string inFolder = Folder + "/" + path;
		found = zeFindDataFile(inFolder.c_str());
		if (zeFileExist(found))
			return zeFileGetFullPath(found);
	}
	return "";
}

video::ITexture* CZeTextureManager::keep(const std::string& key, video::ITexture* texture)
{
	texture->grab();
	Loaded[key] = texture;
	return texture;
}

video::ITexture* CZeTextureManager::getTexture(const char* path, bool mipMaps)
{
	if (!path || !*path)
		return nullptr;
	const std::string name = resolve(path);
	if (name.empty())
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot find texture '%s'", path);
		return nullptr;
	}
	const std::string key = "2D:" + name;
	auto it = Loaded.find(key);
	if (it != Loaded.end())
		return it->second;

	const bool mips = Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
	Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
	video::ITexture* texture = Driver->getTexture(name.c_str());
	Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mips);
	if (!texture)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot load texture '%s'", name.c_str());
		return nullptr;
	}
	return keep(key, texture);
}

video::ITexture* CZeTextureManager::makeFromImage(const std::string& name, video::IImage* image, ze::E_TEXTURE_KIND kind)
{
	ze::IImageExt* ext = dynamic_cast<ze::IImageExt*>(image);
	if (kind == ze::ETK_CUBE)
	{
		if (!ext || !ext->isCubeMap())
		{
			zeLog(EZELL_ERROR, "CZeTextureManager: '%s' is not a cube image", name.c_str());
			return nullptr;
		}
		ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, name.c_str(), ext->getDimension().Width, ext->getFormat(), false);
		if (!cube)
			return nullptr;
		for (u32 face = 0; face < 6; ++face)
			if (!cube->uploadFace(face, ext->getMipLevelData(face, 0), ext->getSliceSize()))
			{
				zeLog(EZELL_ERROR, "CZeTextureManager: cannot fill face %u of '%s'", face, name.c_str());
				ze::removeTexture(cube);
				cube->drop();
				return nullptr;
			}
		return cube;
	}
	if (!ext || ext->isCubeMap() || ext->getDepth() < 2)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: '%s' is not a volume image", name.c_str());
		return nullptr;
	}
	const core::dimension2d<u32> size = ext->getDimension();
	ze::ITexture3D* volume = ze::createTexture3D(Driver, name.c_str(), size.Width, size.Height, ext->getDepth(), ext->getFormat());
	if (!volume)
		return nullptr;
	const bool uploaded = volume->upload(ext->lock(), ext->getSliceSize() * ext->getDepth());
	ext->unlock();
	if (!uploaded)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot fill the volume of '%s'", name.c_str());
		ze::removeTexture(volume);
		volume->drop();
		return nullptr;
	}
	return volume;
}

video::ITexture* CZeTextureManager::getTextureOfKind(const char* path, ze::E_TEXTURE_KIND kind)
{
	if (kind == ze::ETK_2D)
		return getTexture(path, true);
	if (!path || !*path)
		return nullptr;
	if (kind != ze::ETK_CUBE && kind != ze::ETK_3D)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot load '%s' as a %s texture", path, kindName(kind));
		return nullptr;
	}
	const std::string name = resolve(path);
	if (name.empty())
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot find texture '%s'", path);
		return nullptr;
	}
	const std::string key = std::string(kindName(kind)) + ":" + name;
	auto it = Loaded.find(key);
	if (it != Loaded.end())
		return it->second;
	video::IImage* image = Driver->createImageFromFile(name.c_str());
	if (!image)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot load image '%s'", name.c_str());
		return nullptr;
	}
	video::ITexture* texture = makeFromImage(name, image, kind);
	image->drop();
	if (!texture)
		return nullptr;
	keep(key, texture);
	texture->drop();  // the creation reference: ours and the registry's remain
	return texture;
}

video::ITexture* CZeTextureManager::getTextureAuto(const char* path, bool mipMaps)
{
	if (!path || !*path)
		return nullptr;
	const std::string name = resolve(path);
	if (name.empty())
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot find texture '%s'", path);
		return nullptr;
	}
	auto it = Loaded.find("CUBE:" + name);
	if (it != Loaded.end())
		return it->second;
	it = Loaded.find("2D:" + name);
	if (it != Loaded.end())
		return it->second;
	bool cube = false;
	if (video::IImage* image = Driver->createImageFromFile(name.c_str()))
	{
		const ze::IImageExt* ext = dynamic_cast<const ze::IImageExt*>(image);
		cube = ext && ext->isCubeMap();
		image->drop();
	}
	return cube ? getTextureOfKind(path, ze::ETK_CUBE) : getTexture(path, mipMaps);
}

video::ITexture* CZeTextureManager::findTexture(const char* name)
{
	if (!name || !*name)
		return nullptr;
	return ze::findTexture(Driver, name);
}

video::ITexture* CZeTextureManager::getRenderTexture(const core::dimension2d<u32>& size, ze::ECOLOR_FORMAT format)
{
	const auto key = std::make_tuple(size.Width, size.Height, static_cast<int>(format));
	auto it = RenderTextures.find(key);
	if (it != RenderTextures.end())
		return it->second;
	char name[96];
	snprintf(name, sizeof(name), "ZeRenderTexture.%ux%u.%s", size.Width, size.Height, ze::getColorFormatName(format));
	video::ITexture* texture = ze::addRenderTargetTexture(Driver, size, name, format);
	if (!texture)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot make render texture %s", name);
		return nullptr;
	}
	texture->grab();
	RenderTextures[key] = texture;
	return texture;
}

void CZeTextureManager::setTextureFolder(const char* folder)
{
	Folder = folder ? folder : "";
	while (!Folder.empty() && (Folder.back() == '/' || Folder.back() == '\\'))
		Folder.pop_back();
}
