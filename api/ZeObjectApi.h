// The ID-based object API (the engine context's object table) and the
// renderer table. Errors go through zeSetError with the number of the script
// argument at fault; deleting a missing ID is silent; creation never replaces
// an ID.
#pragma once

#include <irrlicht.h>

class IZeSceneNodeExt;
class IZeCubeMap;
class IZeRenderer;

// Sets the engine hook that finds the scene node of an object ID.
void zeInstallObjectApi();

// The node's extension (the first animator of type 4321), or null.
IZeSceneNodeExt* zeGetNodeExt(irr::scene::ISceneNode* node);

// ---- Creation and deletion --------------------------------------------------
// Loads a mesh file as a new object: 0, or -1 with "invalid Object ID %d : %s"
// (2) or "Failed to load mesh '%s'" (1, full path).
int zeLoadObject(const char* fileName, int id);
// Loads a mesh file as a new object shown as pointCount points spread over its
// surface (a plain mesh node whose ID is the object ID); no point-count
// warning. 0, or -1 with "invalid Object ID %d : %s" (2) or "Failed to load
// mesh '%s' as point cloud" (1, full path; also for a count below 1).
int zeLoadObjectPointCloud(const char* fileName, int id, int pointCount);
// Clones the source object's node (extension included) under a new ID: 0 or
// -1 with "invalid Object ID %d : %s" (1), "Object ID %d does not exist" (2)
// or "Failed to create the cloned object" (-1).
int zeCloneObject(int newId, int sourceId);
// The same as zeCloneObject.
int zeInstanceObject(int newId, int sourceId);
// Takes the node out of the collision set and the scene graph, frees the ID.
void zeDeleteObject(int id);

// ---- Queries ----------------------------------------------------------------
// 1 when the ID holds an object, else 0; never an error.
int zeObjectExist(int id);
// The node, or null; never an error.
irr::scene::ISceneNode* zeGetObjectNode(int id);
// The node only when it is a plain mesh node, else null; never an error.
irr::scene::IMeshSceneNode* zeGetObjectMeshNode(int id);
// The node's mesh by kind (the mesh node's mesh, the animated node's animated
// mesh, the morph node's morph mesh), or null; never an error.
irr::scene::IMesh* zeGetObjectMesh(int id);
// Vertex count over 65535 in a 16-bit buffer logs a warning per buffer;
// returns the number of such buffers.
int zeCountObjectPoints(int id, const char* fileName);
// Only checks that the ID exists: 0 or -1.
int zeCheckObject(int id);

// ---- Visibility and transforms ---------------------------------------------
int zeObjectVisible(int id);
void zeShowObject(int id);
void zeHideObject(int id);
void zePositionObject(int id, float x, float y, float z);
// Euler angles in degrees.
void zeRotateObject(int id, float x, float y, float z);
// Percent: 100 is unit scale.
void zeScaleObject(int id, float x, float y, float z);
// Animated node: its mesh's frame count; other kinds: 1; missing ID: 0.
int zeTotalObjectFrames(int id);
// Animated node: start frame + frame; other kinds: nothing.
void zeSetObjectFrame(int id, float frame);
// Morph node only: hands the 1-based morph indices and their weights to the node.
void zeSetObjectMorph(int id, int count, const int* indices, const float* weights);
// A float texture of the object mesh's vertices under a name (their running
// indices written into their colours first). Flags: 1 keep an existing texture
// of that name, 2 normals too, 4 full floats. 0 or -1.
int zeSetObjectVertexTexture(int id, const char* textureName, int flags);
// The morph targets of a morph node's mesh; 0 for other kinds.
int zeGetObjectMorphCount(int id);
// Makes the camera the node's parent.
void zeLockObjectOn(int id);
// Puts the node back under the scene root, keeping its absolute transform.
void zeLockObjectOff(int id);
// Gives a node the scene root as its parent where its parent had placed it
// (the scene graph keeps holding it).
void zePutUnderSceneRoot(irr::scene::ISceneNode* node);
// Half the diagonal of the mesh's bounding box times the node's largest scale
// component; 0 on error.
float zeGetObjectRadius(int id);

// ---- Node extension ---------------------------------------------------------
void zeSetObjectShadowOn(int id);
void zeSetObjectShadowOff(int id);
// Binds the cube map of a cube-map ID to the node extension; a missing cube
// map reports "CubeMap ID %d does not exist. %s" (2) and changes nothing.
void zeSetObjectCubeMap(int id, int cubeMapId);
void zeEnableObjectCubeMapBox(int id, int flag);
void zeSetObjectCubeMapBox(int id, float x, float y, float z, float sx, float sy, float sz);
void zeSetObjectSelectionMask(int id, int mask);
// Clears the cube map from every object whose extension holds it.
void zeUnbindCubeMapFromObjects(IZeCubeMap* cubeMap);

// ---- Renderer table ---------------------------------------------------------
// Adds a renderer under an ID, taking one reference: 0 or -1 (ID refused).
int zeAddRenderer(int id, IZeRenderer* renderer);
// Makes the renderer current; a missing ID does nothing.
void zeUseRenderer(int id);
void zeUseDefaultRenderer();
// The default renderer becomes current first when it is this one; a missing
// ID is ignored.
void zeDeleteRenderer(int id);
