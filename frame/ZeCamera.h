// The engine camera and camera collision.
#pragma once

// The camera range that set-up gives when it is not set.
const float ZE_DEFAULT_CAMERA_NEAR = 0.1f;
const float ZE_DEFAULT_CAMERA_FAR = 1000.0f;

// Equal values select the defaults, 0.1 and 1000.0.
void zeSetCameraRange(float nearValue, float farValue);
// A horizontal angle in degrees; the camera takes
// vertical = 2 x atan(tan(angle / 2) x height / width).
void zeSetCameraFOV(float degrees);
// The vertical angle in radians that a horizontal angle gives.
float zeHorizontalToVerticalFov(float degrees, int width, int height);
// Stored in the engine context for the renderers.
void zeSetCameraDOF(int mode, float focalDistance, float fStop);
void zeSetCameraAdvancedDOF(int mode, float a, float b, float c, float d);
void zeSetCameraStereo(int mode, float separation, int useConvergence, float convergence);
// 1 gives animator mode 3, 2 gives 4, anything else 2.
void zeSetCameraMode(int mode);
void zeSetCameraMoveSpeed(float speed);
void zeSetCameraJumpSpeed(float speed);
void zePositionCamera(float x, float y, float z);
// Degrees.
void zeRotateCamera(float x, float y, float z);
void zeGetCameraPosition(float* x, float* y, float* z);
// Angles of the view direction, degrees.
void zeGetCameraRotation(float* a, float* b, float* c);
// 0xAARRGGBB.
void zeSetBackdropColor(int colour);

// Adds the triangle selector of the object's mesh (made on first use) to the
// camera's collision set; 0, or -1 with "Object ID %d does not exist. %s" (1).
int zeSetObjectCollision(int objectId);
// Takes it out; nothing when the object has none.
int zeRemoveObjectCollision(int objectId);
// Replaces the camera's collision-response animator by one over the collision set.
void zeAutomaticCameraCollisionOn(float radius, float gravity, float offset);
void zeAutomaticCameraCollisionOff();

// Projects a 3D position to screen coordinates.
void zePositionToScreen(int* x, int* y, float px, float py, float pz);
