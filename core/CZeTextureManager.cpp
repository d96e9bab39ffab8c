#include "core/CZeTextureManager.h"
#include "core/IZeManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace irr;

namespace
{
const char* const CURL_NOISE = "CurlNoise3D";

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
	if (std::strcmp(name, CURL_NOISE) == 0)
		return getCurlNoise3DTexture();
	return ze::findTexture(Driver, name);
}

video::ITexture* CZeTextureManager::getCurlNoise3DTexture()
{
	const std::string key = std::string("3D:") + CURL_NOISE;
	auto it = Loaded.find(key);
	if (it != Loaded.end())
		return it->second;
	if (CurlNoiseFailed)
		return nullptr;
	CurlNoiseFailed = true;
	IZeManager* manager = zeGetManager();
	IZeResourceManager* resources = manager ? manager->getResourceManager() : nullptr;
	ze::IImageExt* image = nullptr;
	if (video::IImage* made = resources ? resources->createCurlNoiseImage() : nullptr)
	{
		image = dynamic_cast<ze::IImageExt*>(made);
		if (!image)
			made->drop();
	}
	if (!image)
	{
		zeLog(EZELL_WARN, "CZeTextureManager: there is no curl-noise image for \"%s\"", CURL_NOISE);
		return nullptr;
	}
	const u32 width = image->getDimension().Width;
	ze::ITexture3D* volume = ze::createTexture3D(Driver, CURL_NOISE, width, width, image->getDepth(), image->getFormat());
	const bool uploaded = volume && volume->upload(image->lock(), image->getSliceSize() * image->getDepth());
	image->unlock();
	image->drop();
	if (!uploaded)
	{
		if (volume)
		{
			zeLog(EZELL_ERROR, "CZeTextureManager: cannot fill the volume of \"%s\"", CURL_NOISE);
			ze::removeTexture(volume);
			volume->drop();
		}
		return nullptr;
	}
	CurlNoiseFailed = false;
	keep(key, volume);
	volume->drop();  // the creation reference: ours and the registry's remain
	return volume;
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

video::ITexture* CZeTextureManager::createMeshVertexTexture(scene::IMesh* mesh, const char* name, bool withNormals,
	u32 width, bool fullFloat)
{
	if (!mesh || !name || !*name || width == 0)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: no mesh, name or width for a vertex texture");
		return nullptr;
	}
	u64 vertices = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		vertices += mesh->getMeshBuffer(b)->getVertexCount();
	const u64 texels = vertices * (withNormals ? 2 : 1);
	const u64 height = (texels + width - 1) / width;
	if (vertices == 0 || height > 16384 || width > 16384)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot make vertex texture '%s' of %llu vertices", name,
			static_cast<unsigned long long>(vertices));
		return nullptr;
	}
	const ze::ECOLOR_FORMAT format = fullFloat ? ze::ECF_A32B32G32R32F : ze::ECF_A16B16G16R16F;
	video::ITexture* texture =
		ze::addRenderTargetTexture(Driver, core::dimension2d<u32>(width, static_cast<u32>(height)), name, format);
	const unsigned int glName = texture ? ze::getGLTextureName(texture) : 0;
	if (!glName)
	{
		zeLog(EZELL_ERROR, "CZeTextureManager: cannot make vertex texture '%s'", name);
		return nullptr;
	}
	std::vector<f32> data(static_cast<size_t>(width) * height * 4, 0.0f);
	size_t t = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		for (u32 v = 0; v < buffer->getVertexCount(); ++v)
		{
			const core::vector3df& p = buffer->getPosition(v);
			const f32 position[4] = { p.X, p.Y, p.Z, 1.0f };
			std::copy(position, position + 4, &data[4 * t++]);
			if (withNormals)
			{
				const core::vector3df& n = buffer->getNormal(v);
				const f32 normal[4] = { n.X, n.Y, n.Z, 0.0f };
				std::copy(normal, normal + 4, &data[4 * t++]);
			}
		}
	}
	// Upload behind the driver's back, then give the unit its texture again.
	GLint previous = 0;
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
	glBindTexture(GL_TEXTURE_2D, glName);
	glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
		GL_FLOAT, data.data());
	glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
	return texture;
}
