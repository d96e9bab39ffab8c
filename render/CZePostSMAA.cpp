#include "render/CZePostSMAA.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"

using namespace irr;

CZePostSMAA::~CZePostSMAA()
{
	for (IZeEffect*& effect : Effects)
		if (effect)
			effect->drop();
	if (AreaTexture)
		AreaTexture->drop();
	if (SearchTexture)
		SearchTexture->drop();
}

bool CZePostSMAA::load(video::IVideoDriver* driver, IZeEffectManager* effects, IZeTextureManager* textures,
	const char* edgeFile, const char* weightFile, const char* neighbourhoodFile, const char* gammaFile,
	const char* areaFile, const char* searchFile)
{
	if (Loaded)
		return false;
	auto failed = [](const char* file) { zeLog(EZELL_ERROR, "CZePostSMAA failed to load %s", file ? file : "(null)"); };

	video::ITexture* area = nullptr;
	video::ITexture* search = nullptr;
	if (driver)
	{
		const bool mipMaps = driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
		const bool always32 = driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT);
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
		driver->setTextureCreationFlag(video::ETCF_ALWAYS_32_BIT, true);
		area = textures && areaFile ? textures->getTexture(areaFile, false) : nullptr;
		search = textures && searchFile ? textures->getTexture(searchFile, false) : nullptr;
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
		driver->setTextureCreationFlag(video::ETCF_ALWAYS_32_BIT, always32);
	}
	if (!area)
		failed(areaFile);
	if (!search)
		failed(searchFile);

	const char* const files[EP_COUNT] = {edgeFile, weightFile, neighbourhoodFile, gammaFile};
	IZeEffect* made[EP_COUNT] = {};
	bool all = area && search;
	for (u32 i = 0; i < EP_COUNT; ++i)
	{
		made[i] = effects && files[i] ? effects->createEffect(files[i], -1, nullptr, nullptr) : nullptr;
		if (!made[i])
		{
			failed(files[i]);
			all = false;
		}
	}
	if (all)
		setUp(made, area, search);
	for (IZeEffect* effect : made)
		if (effect)
			effect->drop();
	return all;
}

void CZePostSMAA::setUp(IZeEffect* const* effects, video::ITexture* area, video::ITexture* search)
{
	area->grab();
	search->grab();
	AreaTexture = area;
	SearchTexture = search;
	for (u32 i = 0; i < EP_COUNT; ++i)
	{
		effects[i]->grab();
		Effects[i] = effects[i];
		video::SMaterial& material = Quads[i].getMaterial();
		Effects[i]->getPassMaterial(0, 0, material);
		for (u32 layer = 0; layer < video::MATERIAL_MAX_TEXTURES; ++layer)
		{
			material.TextureLayer[layer].TextureWrapU = video::ETC_CLAMP_TO_EDGE;
			material.TextureLayer[layer].TextureWrapV = video::ETC_CLAMP_TO_EDGE;
		}
		material.TextureLayer[0].BilinearFilter = true;
		Records[i].Effect = Effects[i];
		Records[i].Technique = 0;
		Records[i].Pass = 0;
		ze::setMaterialUserData(material, &Records[i]);
	}
	// The weights read the area table between its texels and the search table
	// only at them.
	video::SMaterial& weights = Quads[EP_WEIGHTS].getMaterial();
	ze::setMaterialTexture(weights, 1, AreaTexture);
	weights.TextureLayer[1].BilinearFilter = true;
	ze::setMaterialTexture(weights, 2, SearchTexture);
	weights.TextureLayer[2].BilinearFilter = false;
	weights.TextureLayer[2].TrilinearFilter = false;
	Loaded = true;
}

void CZePostSMAA::draw(video::IVideoDriver* driver, EPass pass, video::ITexture* target, bool clear,
	video::ITexture* input0, video::ITexture* input1)
{
	driver->setRenderTarget(target, clear, false, video::SColor(0, 0, 0, 0));
	zeSetRenderTargetFlip(target != nullptr);
	video::SMaterial& material = Quads[pass].getMaterial();
	ze::setMaterialTexture(material, 0, input0);
	if (pass != EP_WEIGHTS)
		ze::setMaterialTexture(material, 1, input1);
	Quads[pass].render(driver);
}

void CZePostSMAA::render(video::IVideoDriver* driver, IZeVideoDriverExt* driverExt, video::ITexture* edges,
	video::ITexture* source, video::ITexture* blend, bool toDisplay, bool convertFirst)
{
	if (!Loaded || !driver || !edges || !source || !blend)
		return;
	const core::matrix4 world = driver->getTransform(video::ETS_WORLD);
	if (convertFirst)
		draw(driver, EP_GAMMA, blend, false, source);
	draw(driver, EP_EDGES, edges, true, convertFirst ? blend : source);
	draw(driver, EP_WEIGHTS, blend, true, edges);
	draw(driver, EP_NEIGHBOURHOOD, toDisplay ? nullptr : edges, false, source, blend);
	driver->setTransform(video::ETS_WORLD, world);
}
