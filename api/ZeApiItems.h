// What the engine API still holds when the engine shuts down.
#pragma once

// Deletes every object, light, cube map and renderer that the ID tables still
// hold, through each kind's own delete (nodes removed, references dropped,
// records freed), while the device and the engine core still live.
void zeDeleteAllApiItems();
// Has the engine shutdown call zeDeleteAllApiItems; every API call that puts
// an item into a table calls it.
void zeDeleteApiItemsAtShutdown();
