// GL state shared by the engine's programs and the renderers.
//
// Direct3D-style shaders draw render targets upside down in GL: while the
// flip is on, programs negate gl_Position.y (ze_FlipY) and swap the
// front-face winding from use() until zeUnbindProgram().
#pragma once

// Renderers turn the flip on while a render target is bound, off for the window.
void zeSetRenderTargetFlip(bool flip);
bool zeGetRenderTargetFlip();

// Back to fixed function after drawing with a program: no program bound,
// texture unit 0 active, the front-face winding as the 3D library set it.
void zeUnbindProgram();
