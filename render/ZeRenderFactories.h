// Registers the factories of the services the rendering pipeline provides
// (renderer manager, render services, effect manager, resource manager) with
// the engine manager. The program calls it once at start.
#pragma once

void zeRegisterRenderFactories();
