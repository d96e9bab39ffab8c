// zeparticleimage: writes the engine's default particle image, a white
// sprite whose alpha falls from 1 at the centre to 0 at the edge of the
// inscribed circle (1 - r^2), so particles drawn with it are round and soft.
//   zeparticleimage out.png [size]
#include <irrlicht.h>

#include <cstdio>
#include <cstdlib>

using namespace irr;

int main(int argc, char** argv)
{
	const int size = argc == 3 ? std::atoi(argv[2]) : 64;
	if (argc < 2 || argc > 3 || size < 2 || size > 1024)
	{
		std::fprintf(stderr, "usage: zeparticleimage out.png [size 2-1024]\n");
		return 2;
	}
	SIrrlichtCreationParameters params;
	params.DriverType = video::EDT_NULL;
	params.LoggingLevel = ELL_NONE;
	IrrlichtDevice* device = createDeviceEx(params);
	if (!device)
		return 1;
	video::IVideoDriver* driver = device->getVideoDriver();
	const u32 side = static_cast<u32>(size);
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(side, side));
	for (u32 y = 0; y < side; ++y)
		for (u32 x = 0; x < side; ++x)
		{
			// Texel centres, -1 to 1 across the image.
			const f32 u = (2.0f * x + 1.0f) / side - 1.0f;
			const f32 v = (2.0f * y + 1.0f) / side - 1.0f;
			const f32 alpha = core::clamp(1.0f - (u * u + v * v), 0.0f, 1.0f);
			image->setPixel(x, y, video::SColor(static_cast<u32>(alpha * 255.0f + 0.5f), 255, 255, 255));
		}
	const bool written = driver->writeImageToFile(image, argv[1]);
	image->drop();
	device->drop();
	if (!written)
	{
		std::fprintf(stderr, "zeparticleimage: cannot write %s\n", argv[1]);
		return 1;
	}
	return 0;
}
