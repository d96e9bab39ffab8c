// Fixed-capacity tables from an integer ID to an object pointer, behind every
// ID-based API. Errors go into one shared last-error text of 1,024 characters.
#pragma once

struct SZeIdTable
{
	int capacity;   // IDs 0 to capacity - 1
	int maxId;      // highest ID ever added, never lowered; -1 when none
	void** slots;
};

// A new empty table; null when capacity is not positive. Free with zeFreeIdTable.
SZeIdTable* zeCreateIdTable(int capacity);
// Frees the table, not the objects it points to. Null is allowed.
void zeFreeIdTable(SZeIdTable* table);
// Stores the pointer: 0, or -1 with the last-error text set and nothing stored.
int zeIdTableAdd(SZeIdTable* table, int id, void* pointer);
// Clears the slot: 0, or -1 ("id %d does not exist" or a range text).
int zeIdTableRemove(SZeIdTable* table, int id);
// The stored pointer or null; a range error or an empty slot sets the error text.
void* zeIdTableGet(SZeIdTable* table, int id);
// The highest ID ever added, negative when none.
int zeIdTableMaxId(const SZeIdTable* table);
// The text of the last ID-table error.
const char* zeGetIdTableError();
