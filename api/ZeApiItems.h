// The records of the engine API's ID tables: adding, finding and removing
// them, and what the engine API still holds when the engine shuts down.
#pragma once

#include "frame/ZeContext.h"

#include <cstddef>

// Adds a zero-filled record of `size` bytes under the ID. When the table
// refuses the ID, reports `creationFormat` (one %d: the ID, one %s: the ID
// table's text) with the argument number and returns null.
void* zeAddApiItem(EZE_ID_TABLE kind, int id, size_t size, int argument, const char* creationFormat);
// The record of the ID; a missing one reports `lookupFormat` (one %d: the ID,
// one %s: the ID table's text) with the argument number and gives null.
void* zeFindApiItem(EZE_ID_TABLE kind, int id, const char* lookupFormat, int argument = 1);
// The record of the ID, or null; never reports.
void* zePeekApiItem(EZE_ID_TABLE kind, int id);
// Frees the record and the ID.
void zeRemoveApiItem(EZE_ID_TABLE kind, int id, void* item);
// The ID table's text for the last failed call, or a note that the engine is
// not set up when the table does not exist.
const char* zeApiTableError(EZE_ID_TABLE kind);

// Deletes every item the ID tables still hold, through each kind's own delete
// (nodes removed, references dropped, records freed), while the device and
// the engine core still live, then what the API keeps for the whole engine
// (the enabled camera effects, the screen quad).
void zeDeleteAllApiItems();
// Has the engine shutdown call zeDeleteAllApiItems; every API call that puts
// an item into a table calls it.
void zeDeleteApiItemsAtShutdown();
