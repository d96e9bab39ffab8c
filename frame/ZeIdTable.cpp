#include "frame/ZeIdTable.h"

#include <cstdio>

namespace
{
char g_lastError[1024];

bool checkRange(const SZeIdTable* table, int id)
{
	if (id < 0)
	{
		snprintf(g_lastError, sizeof(g_lastError), "invalid negative ID %d", id);
		return false;
	}
	if (id >= table->capacity)
	{
		snprintf(g_lastError, sizeof(g_lastError), "invalid ID %d greater or equals than %d", id, table->capacity);
		return false;
	}
	return true;
}

void setMissing(int id)
{
	snprintf(g_lastError, sizeof(g_lastError), "id %d does not exist", id);
}
} // namespace

SZeIdTable* zeCreateIdTable(int capacity)
{
	if (capacity <= 0)
		return nullptr;
	SZeIdTable* table = new SZeIdTable;
	table->capacity = capacity;
	table->maxId = -1;
	table->slots = new void*[capacity]();
	return table;
}

void zeFreeIdTable(SZeIdTable* table)
{
	if (!table)
		return;
	delete[] table->slots;
	delete table;
}

int zeIdTableAdd(SZeIdTable* table, int id, void* pointer)
{
	if (!checkRange(table, id))
		return -1;
	if (table->slots[id])
	{
		snprintf(g_lastError, sizeof(g_lastError), "id %d already exist", id);
		return -1;
	}
	table->slots[id] = pointer;
	if (id > table->maxId)
		table->maxId = id;
	return 0;
}

int zeIdTableRemove(SZeIdTable* table, int id)
{
	if (!checkRange(table, id))
		return -1;
	if (!table->slots[id])
	{
		setMissing(id);
		return -1;
	}
	table->slots[id] = nullptr;
	return 0;
}

void* zeIdTableGet(SZeIdTable* table, int id)
{
	if (!checkRange(table, id))
		return nullptr;
	// An empty slot also sets the text, so that the caller's message never
	// carries an unrelated older error.
	if (!table->slots[id])
		setMissing(id);
	return table->slots[id];
}

int zeIdTableMaxId(const SZeIdTable* table)
{
	return table->maxId;
}

const char* zeGetIdTableError()
{
	return g_lastError;
}
