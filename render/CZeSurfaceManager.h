// The surface manager: surfaces by type code or by name.
#pragma once

#include "core/IZeServices.h"
#include "render/IZeSurface.h"

class IZeManager;

class CZeSurfaceManager : public IZeSurfaceManager
{
public:
	// A new surface for 'lwsr' or 'lwhv', or null; the caller owns the reference.
	IZeSurface* createSurfaceByType(irr::u32 typeCode) override;
	// A new surface for "lightwave" or "lightwave_hv", or null; the caller owns
	// the reference.
	IZeSurface* createSurfaceByName(const char* name);
	// The type code of a surface name, 0 for an unknown one.
	static irr::u32 getTypeCodeOfName(const char* name);
};

// The engine's surface manager (the engine manager deletes it).
IZeSurfaceManager* zeCreateSurfaceManager(IZeManager* manager);
