#include "render/CZeRendererSimple.h"

#include "core/ZeGpuState.h"

using namespace irr;

CZeRendererSimple::CZeRendererSimple(IrrlichtDevice* device, IZeRendererCtx* context)
	: Device(device), Context(context)
{
	if (Context)
		Context->grab();
}

CZeRendererSimple::~CZeRendererSimple()
{
	if (Context)
		Context->drop();
}

bool CZeRendererSimple::init()
{
	return true;
}

bool CZeRendererSimple::render(video::ITexture* target)
{
	if (!Device)
		return false;
	video::IVideoDriver* driver = Device->getVideoDriver();
	const u32 colour = Context ? Context->getClearColor()->Color : 0u;
	driver->setRenderTarget(target, true, true, video::SColor(colour));
	zeSetRenderTargetFlip(target != nullptr);
	Device->getSceneManager()->drawAll();
	return true;
}
