// Internal to the system layer: the layout of the set-up dialog's window, so
// that its tests can point at the controls the way a user would.
#pragma once

#include <irrlicht.h>

enum EZE_SETUP_DIALOG_ITEM
{
	EZESDI_RESOLUTIONS = 0,
	EZESDI_WINDOWED,
	EZESDI_VSYNC,
	EZESDI_ANTIALIAS,
	EZESDI_SHADERS,
	EZESDI_STEREO,
	EZESDI_CENTERED,
	EZESDI_RUN,
	EZESDI_CANCEL,
	EZESDI_COUNT
};

const int ZE_SETUP_DIALOG_WIDTH = 420;
const int ZE_SETUP_DIALOG_HEIGHT = 320;

// Where a control sits in the set-up window (client coordinates).
irr::core::recti zeSetupDialogItemRect(EZE_SETUP_DIALOG_ITEM item);
