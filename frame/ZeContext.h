// The one engine context of the system layer.
#pragma once

#include "frame/ZeIdTable.h"

#include <irrlicht.h>

class IZeSceneNodeAnimatorCamera;
class CZeEventReceiver;

// The per-frame render and post-processing parameters that scene animation
// and scripts write, in the order the renderers read them.
struct SZeRenderParams
{
	int colorSpaceViewer;
	int glowEnable;
	float glowIntensity;
	float glowRadius;
	// camera depth of field
	int dofMode;
	float dofFocalDistance;
	float dofFStop;
	int advancedDofMode;
	float advancedDof[4];  // minimum focus, maximum focus, focused distance, radius scale
	int streakEnable;
	float streak[11];
	int bloomEnable;
	float bloom[2];        // specular minimum, compose
	int ambientOcclusionEnable;
	float ambientOcclusion[4];
	int shadowEnable;
	float shadowEpsilon;
	// camera stereo
	int stereoMode;
	float stereoSeparation;
	int stereoUseConvergence;
	float stereoConvergence;
	int antialias[6];
	float antialiasFloat;
};

// The ID tables of the engine API, in their order of creation.
enum EZE_ID_TABLE
{
	EZEIT_IMAGE = 0,
	EZEIT_OBJECT,
	EZEIT_LIGHT,
	EZEIT_FX_EMITTER,
	EZEIT_CAMERA_EFFECT,
	EZEIT_EFFECT,
	EZEIT_CUBE_MAP,
	EZEIT_RENDERER,
	EZEIT_COUNT
};

const int ZE_ID_TABLE_CAPACITY = 1000;
const int ZE_MUSIC_TABLE_CAPACITY = 50;

struct SZeContext
{
	irr::IrrlichtDevice* device;
	irr::video::IVideoDriver* driver;
	irr::scene::ISceneManager* sceneManager;
	irr::gui::IGUIEnvironment* gui;
	irr::gui::IGUIFont* builtInFont;
	irr::gui::IGUIInOutFader* fader;
	irr::scene::ICameraSceneNode* camera;
	IZeSceneNodeAnimatorCamera* cameraAnimator;
	CZeEventReceiver* receiver;

	// display values
	int width;
	int height;
	int bits;
	int windowed;
	int vsync;
	int fps;
	int antialias;
	int lightPrePass;
	int hideMouse;
	int shaders;
	irr::video::SColor backdrop;

	SZeRenderParams render;

	// camera collision: the triangle selectors of objects added to it
	irr::scene::IMetaTriangleSelector* collisionSet;
	irr::scene::ISceneNodeAnimatorCollisionResponse* collisionAnimator;

	SZeIdTable* tables[EZEIT_COUNT];
	SZeIdTable* musics;
};

// The engine context; its device is null while the engine is not set up.
SZeContext* zeGetContext();
// The ID table of one kind, null while the engine is not set up.
SZeIdTable* zeGetIdTable(EZE_ID_TABLE kind);
