// Curl noise: the curl of a smooth, tileable three-component noise potential,
// precomputed into one process-wide cube table of signed bytes (W texels per
// edge, three bytes x, y, z per texel, x running fastest, then y, then z).
// Particles sample it with trilinear interpolation; shaders read it as the
// volume texture "CurlNoise3D".
//
// Until a table is loaded, after zeCurlNoiseFree and after every failed
// replacement, the built-in table is in place: W = 1 with one zero texel, so
// every sample is zero. Every replacing operation frees the previous table
// first. Main thread only.
#pragma once

#include <irrlicht.h>

// The edge W of the current table (1 for the built-in one).
irr::u32 zeCurlNoiseWidth();
// The current table's W * W * W * 3 bytes.
const irr::s8* zeCurlNoiseData();

// Replaces the table with one computed from an 8-bit volume image whose
// width, height and depth are equal; false otherwise.
bool zeCurlNoiseFromImage(irr::video::IVideoDriver* driver, const char* file);
// Replaces the table with the built-in 64 x 64 x 64 generation over periodic
// gradient noise (786,432 bytes); false when it cannot be allocated.
bool zeCurlNoiseCreateDefault();
// Replaces the table with a cache file's contents (W^3 * 3 bytes, no
// header); false with an engine-log error when the file cannot be read or
// its size is not that of a cube table.
bool zeCurlNoiseLoad(irr::IrrlichtDevice* device, const char* file);
// Writes the table to a cache file; true only when every byte was written.
bool zeCurlNoiseSave(irr::IrrlichtDevice* device, const char* file);
// Frees a loaded table; the built-in one takes its place.
void zeCurlNoiseFree();
// A W x W x W A8R8G8B8 image of the table for shaders: each texel's bytes in
// memory order are (z + 128, y + 128, x + 128, 255). Null on failure (the
// caller drops the image).
irr::video::IImage* zeCurlNoiseCreateImage(irr::video::IVideoDriver* driver);

// The texel (x, y, z) (each in 0 to W - 1) as the floats of its three signed
// bytes and 0.
void zeCurlNoiseTexel(irr::u32 x, irr::u32 y, irr::u32 z, irr::f32 out[4]);
// The curl at a point in texel units: the eight texels of its cell, wrapped
// on every axis, blended trilinearly; raw table units (-128 to 127) and w 0.
// A point with a component that is not finite samples zero.
void zeCurlNoiseSample(const irr::f32 point[3], irr::f32 out[4]);
