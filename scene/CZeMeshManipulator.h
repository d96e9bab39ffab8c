// Mesh conversions beside the 3D library's mesh manipulator: point clouds
// scattered over a mesh's surface and tangent copies that keep a second
// texture-coordinate set.
#pragma once

#include <irrlicht.h>

class CZeMeshManipulator
{
public:
	// A new mesh (reference count 1) with one standard-vertex buffer per source
	// buffer, holding pointCount points spread over the triangles by area.
	// Colour of each point = its running index. The manipulator is not used.
	// 16- and 32-bit indices are read; a mesh without area gives empty buffers.
	static irr::scene::SMesh* createPointCloudMesh(const irr::scene::IMeshManipulator* manipulator,
		const irr::scene::IMesh* mesh, irr::u32 pointCount);

	// A tangent copy (normals kept, tangents recalculated) or null. With
	// carrySecondTCoords every source buffer must hold two texture coordinates;
	// their second set goes to Binormal.X / Binormal.Y.
	static irr::scene::IMesh* createMeshWithTangents(const irr::scene::IMeshManipulator* manipulator,
		irr::scene::IMesh* mesh, bool carrySecondTCoords);
};
