#include "libext/ZeMaterialExt.h"

#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <cstring>
#include <deque>
#include <vector>

using namespace irr;

namespace ze
{
// ---- User-data registry ----------------------------------------------------------------
// Live user-data records by slot, each with a serial that is never given out
// twice: a reference (slot, serial) answers its record only while that very
// record lives, even when another one later takes its slot or its address.
class CMaterialUserDataRegistry
{
public:
	struct SRef
	{
		u32 Slot = 0;
		u64 Serial = 0;  // 0: none

		bool operator==(const SRef& other) const { return Slot == other.Slot && Serial == other.Serial; }
	};

	static void enter(SMaterialUserData& record)
	{
		STable& t = table();
		u32 slot = static_cast<u32>(t.Entries.size());
		if (!t.Free.empty())
		{
			slot = t.Free.back();
			t.Free.pop_back();
		}
		else
			t.Entries.emplace_back();
		t.Entries[slot] = {&record, ++t.LastSerial};
		record.RegistrySlot = slot;
	}

	static void leave(SMaterialUserData& record)
	{
		STable& t = table();
		t.Entries[record.RegistrySlot] = {};
		t.Free.push_back(record.RegistrySlot);
	}

	static SRef refOf(const SMaterialUserData* record)
	{
		if (!record)
			return {};
		return {record->RegistrySlot, table().Entries[record->RegistrySlot].Serial};
	}

	static SMaterialUserData* find(const SRef& ref)
	{
		const STable& t = table();
		if (!ref.Serial || ref.Slot >= t.Entries.size() || t.Entries[ref.Slot].Serial != ref.Serial)
			return nullptr;
		return t.Entries[ref.Slot].Record;
	}

private:
	struct SEntry
	{
		SMaterialUserData* Record = nullptr;
		u64 Serial = 0;
	};
	struct STable
	{
		std::vector<SEntry> Entries;
		std::vector<u32> Free;
		u64 LastSerial = 0;
	};
	// Never destroyed: records with static storage may leave after it would be.
	static STable& table()
	{
		static STable* t = new STable();
		return *t;
	}
};

SMaterialUserData::SMaterialUserData()
{
	CMaterialUserDataRegistry::enter(*this);
}

SMaterialUserData::SMaterialUserData(const SMaterialUserData&)
{
	CMaterialUserDataRegistry::enter(*this);
}

SMaterialUserData& SMaterialUserData::operator=(const SMaterialUserData&)
{
	return *this;
}

SMaterialUserData::~SMaterialUserData()
{
	CMaterialUserDataRegistry::leave(*this);
}

namespace
{
// ---- Side records by handle -------------------------------------------------------------
// A handle is the bit pattern of a positive normal float, so that it survives
// every copy of the material exactly: the pattern less FIRST_HANDLE holds the
// slot in its low SLOT_BITS and the slot's generation above them. A slot whose
// generations are all spent is not used again, so no handle comes back.
const u32 FIRST_HANDLE = 0x00800000u;  // the smallest positive normal float
const u32 END_HANDLE = 0x7F800000u;    // infinity
const u32 SLOT_BITS = 20;
const u32 MAX_SLOTS = 1u << SLOT_BITS;
const u32 GENERATIONS = (END_HANDLE - FIRST_HANDLE) >> SLOT_BITS;

struct SSlot
{
	SMaterialExt Record;
	CMaterialUserDataRegistry::SRef UserData;
	const video::SMaterial* Owner = nullptr;  // the material the record was made for
	u32 Generation = 0;
	bool Live = false;
};

struct SSideRecords
{
	std::deque<SSlot> Slots;  // a deque: records keep their address while others are added
	std::deque<u32> Free;     // the longest free first
	u32 Live = 0;
};

// Never destroyed: materials with static storage may be released after it would be.
SSideRecords& sideRecords()
{
	static SSideRecords* records = new SSideRecords();
	return *records;
}

u32 handleOf(const video::SMaterial& material)
{
	u32 bits = 0;
	std::memcpy(&bits, &material.MaterialTypeParam2, sizeof(bits));
	return bits;
}

void setHandle(video::SMaterial& material, u32 handle)
{
	std::memcpy(&material.MaterialTypeParam2, &handle, sizeof(handle));
}

// The live slot behind a handle, or null.
SSlot* find(u32 handle, u32* index = nullptr)
{
	if (handle < FIRST_HANDLE || handle >= END_HANDLE)
		return nullptr;
	const u32 code = handle - FIRST_HANDLE;
	const u32 slot = code & (MAX_SLOTS - 1);
	SSideRecords& records = sideRecords();
	if (slot >= records.Slots.size())
		return nullptr;
	SSlot& s = records.Slots[slot];
	if (!s.Live || s.Generation != code >> SLOT_BITS)
		return nullptr;
	if (index)
		*index = slot;
	return &s;
}

void put(SMaterialLayerExt& layer, video::ITexture* texture)
{
	if (texture)
		texture->grab();
	if (layer.Texture)
		layer.Texture->drop();
	layer.Texture = texture;
}

// A new, empty record owned by `owner`; null when every slot is taken.
SSlot* allocate(const video::SMaterial* owner, u32* handle)
{
	SSideRecords& records = sideRecords();
	u32 slot = 0;
	if (!records.Free.empty())
	{
		slot = records.Free.front();
		records.Free.pop_front();
	}
	else if (records.Slots.size() < MAX_SLOTS)
	{
		slot = static_cast<u32>(records.Slots.size());
		records.Slots.emplace_back();
	}
	else
	{
		zeLog(EZELL_ERROR, "ZeMaterialExt: too many material records");
		return nullptr;
	}
	SSlot& s = records.Slots[slot];
	s.Record = SMaterialExt();
	s.UserData = {};
	s.Owner = owner;
	s.Live = true;
	++records.Live;
	*handle = FIRST_HANDLE + (s.Generation << SLOT_BITS) + slot;
	return &s;
}

void release(u32 slot)
{
	SSideRecords& records = sideRecords();
	SSlot& s = records.Slots[slot];
	for (SMaterialLayerExt& layer : s.Record.TextureLayer)
		put(layer, nullptr);
	for (SMaterialLayerExt& layer : s.Record.VertexTextureLayer)
		put(layer, nullptr);
	s.UserData = {};
	s.Owner = nullptr;
	s.Live = false;
	--records.Live;
	if (++s.Generation < GENERATIONS)
		records.Free.push_back(slot);
}

// The material's own slot for writing (see getMaterialExt).
SSlot* writable(video::SMaterial& material, bool create)
{
	SSlot* shared = find(handleOf(material));
	if (shared && shared->Owner == &material)
		return shared;
	if (!shared && !create)
		return nullptr;
	u32 handle = 0;
	SSlot* own = allocate(&material, &handle);
	if (!own)
		return nullptr;
	if (shared)
	{
		own->Record = shared->Record;
		own->UserData = shared->UserData;
		for (SMaterialLayerExt& layer : own->Record.TextureLayer)
			if (layer.Texture)
				layer.Texture->grab();
		for (SMaterialLayerExt& layer : own->Record.VertexTextureLayer)
			if (layer.Texture)
				layer.Texture->grab();
	}
	setHandle(material, handle);
	return own;
}

// Whether the library may hold the texture in its own layer.
bool isLibraryTexture(const video::ITexture* texture)
{
	return !dynamic_cast<const ITextureExt*>(texture);
}

bool bindOn(u32 unit, video::ITexture* texture)
{
	unsigned int target = 0;
	const unsigned int name = getGLTextureName(resolve(texture), &target);
	if (!name)
		return false;
	glActiveTexture(GL_TEXTURE0 + unit);
	glBindTexture(target, name);
	return true;
}

// A texture layer (vertex: a vertex-texture layer) of a record.
template <typename Record>
auto& layerOf(Record& record, bool vertex, u32 layer)
{
	return vertex ? record.VertexTextureLayer[layer] : record.TextureLayer[layer];
}

// Writes a layer's texture or flag unless it already holds the value, so that
// a copy keeps sharing its record for as long as nothing changes.
void writeTexture(video::SMaterial& material, bool vertex, u32 layer, video::ITexture* texture)
{
	const SMaterialExt* current = getMaterialExt(material);
	if ((current ? layerOf(*current, vertex, layer).Texture : nullptr) == texture)
		return;
	if (SSlot* s = writable(material, texture != nullptr))
		put(layerOf(s->Record, vertex, layer), texture);
}

void writeSRGB(video::SMaterial& material, bool vertex, u32 layer, u32 srgb)
{
	const SMaterialExt* current = getMaterialExt(material);
	if ((current ? layerOf(*current, vertex, layer).SRGB : 0) == srgb)
		return;
	if (SSlot* s = writable(material, true))
		layerOf(s->Record, vertex, layer).SRGB = srgb;
}
} // namespace

SMaterialExt* getMaterialExt(video::SMaterial& material, bool create)
{
	SSlot* s = writable(material, create);
	return s ? &s->Record : nullptr;
}

const SMaterialExt* getMaterialExt(const video::SMaterial& material)
{
	const SSlot* s = find(handleOf(material));
	return s ? &s->Record : nullptr;
}

// ---- User data ---------------------------------------------------------------------------
void setMaterialUserData(video::SMaterial& material, SMaterialUserData* userData)
{
	const CMaterialUserDataRegistry::SRef ref = CMaterialUserDataRegistry::refOf(userData);
	const SSlot* current = find(handleOf(material));
	if (current ? current->UserData == ref : !userData)
		return;
	if (SSlot* s = writable(material, userData != nullptr))
		s->UserData = ref;
}

SMaterialUserData* getMaterialUserData(const video::SMaterial& material)
{
	const SSlot* s = find(handleOf(material));
	return s ? CMaterialUserDataRegistry::find(s->UserData) : nullptr;
}

// ---- Texture layers ----------------------------------------------------------------------
void setMaterialTexture(video::SMaterial& material, u32 layer, video::ITexture* texture)
{
	if (layer >= MATERIAL_MAX_TEXTURES)
		return;
	const bool libraryLayer = layer < video::MATERIAL_MAX_TEXTURES;
	const bool inLibrary = texture && libraryLayer && isLibraryTexture(texture);
	if (libraryLayer)
		material.TextureLayer[layer].Texture = inLibrary ? texture : nullptr;
	writeTexture(material, false, layer, inLibrary ? nullptr : texture);
}

video::ITexture* getMaterialTexture(const video::SMaterial& material, u32 layer)
{
	if (layer >= MATERIAL_MAX_TEXTURES)
		return nullptr;
	if (layer < video::MATERIAL_MAX_TEXTURES && material.TextureLayer[layer].Texture)
		return material.TextureLayer[layer].Texture;
	const SMaterialExt* record = getMaterialExt(material);
	return record ? record->TextureLayer[layer].Texture : nullptr;
}

void setMaterialTextureSRGB(video::SMaterial& material, u32 layer, u32 srgb)
{
	if (layer < MATERIAL_MAX_TEXTURES)
		writeSRGB(material, false, layer, srgb);
}

void setMaterialVertexTexture(video::SMaterial& material, u32 layer, video::ITexture* texture)
{
	if (layer < MATERIAL_MAX_VERTEX_TEXTURES)
		writeTexture(material, true, layer, texture);
}

video::ITexture* getMaterialVertexTexture(const video::SMaterial& material, u32 layer)
{
	const SMaterialExt* record = getMaterialExt(material);
	return record && layer < MATERIAL_MAX_VERTEX_TEXTURES ? record->VertexTextureLayer[layer].Texture : nullptr;
}

void setMaterialVertexTextureSRGB(video::SMaterial& material, u32 layer, u32 srgb)
{
	if (layer < MATERIAL_MAX_VERTEX_TEXTURES)
		writeSRGB(material, true, layer, srgb);
}

// ---- Binding -----------------------------------------------------------------------------
u32 bindMaterialExtTextures(const video::SMaterial& material)
{
	const SMaterialExt* record = getMaterialExt(material);
	if (!record)
		return 0;
	u32 bound = 0;
	for (u32 i = 0; i < MATERIAL_MAX_TEXTURES; ++i)
		if (record->TextureLayer[i].Texture)
			bound += bindOn(MATERIAL_EXT_FIRST_UNIT + i, record->TextureLayer[i].Texture);
	for (u32 i = 0; i < MATERIAL_MAX_VERTEX_TEXTURES; ++i)
		if (record->VertexTextureLayer[i].Texture)
			bound += bindOn(MATERIAL_EXT_FIRST_VERTEX_UNIT + i, record->VertexTextureLayer[i].Texture);
	glActiveTexture(GL_TEXTURE0);
	return bound;
}

u32 getMaterialTextureUnit(const video::SMaterial& material, u32 layer)
{
	const SMaterialExt* record = getMaterialExt(material);
	const bool inRecord = record && layer < MATERIAL_MAX_TEXTURES && record->TextureLayer[layer].Texture;
	if (!inRecord && layer < video::MATERIAL_MAX_TEXTURES)
		return layer;
	return MATERIAL_EXT_FIRST_UNIT + layer;
}

// ---- Lifetime ----------------------------------------------------------------------------
void releaseMaterialExt(video::SMaterial& material)
{
	u32 slot = 0;
	const SSlot* s = find(handleOf(material), &slot);
	if (s && s->Owner == &material)
		release(slot);
	setHandle(material, 0);
}

u32 getMaterialExtHandle(const video::SMaterial& material)
{
	const u32 handle = handleOf(material);
	return find(handle) ? handle : 0;
}

void releaseMaterialExtHandle(u32 handle)
{
	u32 slot = 0;
	if (find(handle, &slot))
		release(slot);
}

void clearMaterialExts()
{
	SSideRecords& records = sideRecords();
	for (u32 slot = 0; slot < records.Slots.size(); ++slot)
		if (records.Slots[slot].Live)
			release(slot);
}

u32 getMaterialExtCount()
{
	return sideRecords().Live;
}
} // namespace ze
