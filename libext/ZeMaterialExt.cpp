#include "libext/ZeMaterialExt.h"

#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <cstring>
#include <deque>
#include <unordered_map>
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
// slot in its low SLOT_BITS and the slot's generation above them. Records go
// only in collections, which free what no held material reads, so a freed
// handle lives on only in copies nobody holds; its slot's generation moves on,
// and comes round to it again only after GENERATIONS more records in that
// slot. Handles never run out, however long a program makes records.
const u32 FIRST_HANDLE = 0x00800000u;  // the smallest positive normal float
const u32 END_HANDLE = 0x7F800000u;    // infinity
const u32 SLOT_BITS = 20;
const u32 MAX_SLOTS = 1u << SLOT_BITS;
const u32 GENERATIONS = (END_HANDLE - FIRST_HANDLE) >> SLOT_BITS;
// A frame end collects once this many records more than twice the live count
// left by the last collection are alive: a program that writes materials on
// every frame stays bounded, and the sweeps cost a constant per record made.
const u32 GROWTH_FLOOR = 4096;

typedef CMaterialUserDataRegistry::SRef SUserRef;

struct SSlot
{
	SMaterialExt Record;
	SUserRef UserData;
	std::size_t Hash = 0;
	u32 Generation = 0;
	u32 Marked = 0;  // the last collection that found a material reading it
	bool Live = false;
};

struct SHolder
{
	MaterialExtMarker Mark;
	void* Holder;
};

struct SSideRecords
{
	std::deque<SSlot> Slots;  // a deque: records keep their address while others are added
	std::deque<u32> Free;     // the longest free first
	std::unordered_multimap<std::size_t, u32> ByContent;
	u32 Live = 0;
	u32 LiveAfterCollection = 0;  // what the last collection left alive
	u32 LiveLimit = MAX_SLOTS;  // lowered by tests
	std::vector<SHolder> Holders;
	u32 Collection = 0;  // the number of the current or last collection
	u32 Batches = 0;
	bool SweepWaiting = false;
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
SSlot* find(u32 handle)
{
	if (handle < FIRST_HANDLE || handle >= END_HANDLE)
		return nullptr;
	const u32 code = handle - FIRST_HANDLE;
	const u32 slot = code & (MAX_SLOTS - 1);
	SSideRecords& records = sideRecords();
	if (slot >= records.Slots.size())
		return nullptr;
	SSlot& s = records.Slots[slot];
	return s.Live && s.Generation == code >> SLOT_BITS ? &s : nullptr;
}

u32 handleOfSlot(u32 slot)
{
	return FIRST_HANDLE + (sideRecords().Slots[slot].Generation << SLOT_BITS) + slot;
}

// ---- Records by content -----------------------------------------------------------------
// The layers compare and hash byte for byte (a layer has no padding), so that a
// bias of -0 or NaN is kept as written.
static_assert(sizeof(SMaterialLayerExt) == sizeof(void*) + 8, "layers are compared byte for byte");

bool sameLayers(const SMaterialExt& a, const SMaterialExt& b)
{
	return std::memcmp(&a, &b, sizeof(SMaterialExt)) == 0;
}

bool isEmpty(const SMaterialExt& layers, const SUserRef& user)
{
	static const SMaterialExt empty{};
	return !user.Serial && sameLayers(layers, empty);
}

std::size_t hashOf(const SMaterialExt& layers, const SUserRef& user)
{
	u64 h = 0xCBF29CE484222325ull;
	auto mix = [&h](u64 word) {
		h = (h ^ word) * 0x100000001B3ull;
		h ^= h >> 29;
	};
	unsigned char bytes[sizeof(SMaterialExt)];
	std::memcpy(bytes, &layers, sizeof(bytes));
	for (std::size_t i = 0; i + sizeof(u64) <= sizeof(bytes); i += sizeof(u64))
	{
		u64 word = 0;
		std::memcpy(&word, bytes + i, sizeof(word));
		mix(word);
	}
	mix(user.Serial);
	mix(user.Slot);
	return static_cast<std::size_t>(h);
}

// Calls `act` on every texture of the layers.
template <typename Action>
void forEachTexture(const SMaterialExt& layers, Action act)
{
	for (const SMaterialLayerExt& layer : layers.TextureLayer)
		if (layer.Texture)
			act(layer.Texture);
	for (const SMaterialLayerExt& layer : layers.VertexTextureLayer)
		if (layer.Texture)
			act(layer.Texture);
}

// The handle of the record with these contents, made when there is none; 0
// for empty contents. False when every slot is taken.
bool intern(const SMaterialExt& layers, const SUserRef& user, u32* handle)
{
	*handle = 0;
	if (isEmpty(layers, user))
		return true;
	SSideRecords& records = sideRecords();
	const std::size_t hash = hashOf(layers, user);
	const auto range = records.ByContent.equal_range(hash);
	for (auto it = range.first; it != range.second; ++it)
	{
		const SSlot& s = records.Slots[it->second];
		if (s.UserData == user && sameLayers(s.Record, layers))
		{
			*handle = handleOfSlot(it->second);
			return true;
		}
	}
	u32 slot = 0;
	const bool room = records.Live < records.LiveLimit;
	if (room && !records.Free.empty())
	{
		slot = records.Free.front();
		records.Free.pop_front();
	}
	else if (room && records.Slots.size() < MAX_SLOTS)
	{
		slot = static_cast<u32>(records.Slots.size());
		records.Slots.emplace_back();
	}
	else
	{
		zeLog(EZELL_ERROR, "ZeMaterialExt: too many material records");
		return false;
	}
	SSlot& s = records.Slots[slot];
	s.Record = layers;
	s.UserData = user;
	s.Hash = hash;
	s.Marked = records.Collection;
	s.Live = true;
	forEachTexture(s.Record, [](video::ITexture* t) { t->grab(); });
	records.ByContent.emplace(hash, slot);
	++records.Live;
	*handle = handleOfSlot(slot);
	return true;
}

void release(u32 slot)
{
	SSideRecords& records = sideRecords();
	SSlot& s = records.Slots[slot];
	const auto range = records.ByContent.equal_range(s.Hash);
	for (auto it = range.first; it != range.second; ++it)
		if (it->second == slot)
		{
			records.ByContent.erase(it);
			break;
		}
	const SMaterialExt layers = s.Record;
	s.Record = SMaterialExt();
	s.UserData = {};
	s.Live = false;
	--records.Live;
	s.Generation = (s.Generation + 1) % GENERATIONS;
	records.Free.push_back(slot);
	forEachTexture(layers, [](video::ITexture* t) { t->drop(); });
}

// Points the material at the record of these contents.
void write(video::SMaterial& material, const SMaterialExt& layers, const SUserRef& user)
{
	u32 handle = 0;
	if (intern(layers, user, &handle))
		setHandle(material, handle);
}

// The material's contents: its record's, or empty; user data that has gone is none.
void contentsOf(const video::SMaterial& material, SMaterialExt* layers, SUserRef* user)
{
	if (const SSlot* s = find(handleOf(material)))
	{
		*layers = s->Record;
		*user = CMaterialUserDataRegistry::find(s->UserData) ? s->UserData : SUserRef();
		return;
	}
	*layers = SMaterialExt();
	*user = {};
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

// Writes one field of one layer; writing the value the material reads changes nothing.
template <typename Value>
void writeLayer(video::SMaterial& material, bool vertex, u32 layer, Value SMaterialLayerExt::*field, Value value)
{
	const SSlot* s = find(handleOf(material));
	if ((s ? layerOf(s->Record, vertex, layer).*field : Value()) == value)
		return;
	SMaterialExt layers;
	SUserRef user;
	contentsOf(material, &layers, &user);
	layerOf(layers, vertex, layer).*field = value;
	write(material, layers, user);
}
} // namespace

const SMaterialExt* getMaterialExt(const video::SMaterial& material)
{
	const SSlot* s = find(handleOf(material));
	return s ? &s->Record : nullptr;
}

void setMaterialExt(video::SMaterial& material, const SMaterialExt& layers)
{
	SMaterialExt current;
	SUserRef user;
	contentsOf(material, &current, &user);
	if (!sameLayers(current, layers))
		write(material, layers, user);
}

// ---- User data ---------------------------------------------------------------------------
void setMaterialUserData(video::SMaterial& material, SMaterialUserData* userData)
{
	const SUserRef ref = CMaterialUserDataRegistry::refOf(userData);
	SMaterialExt layers;
	SUserRef user;
	contentsOf(material, &layers, &user);
	if (!(user == ref))
		write(material, layers, ref);
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
	writeLayer(material, false, layer, &SMaterialLayerExt::Texture, inLibrary ? nullptr : texture);
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
		writeLayer(material, false, layer, &SMaterialLayerExt::SRGB, srgb);
}

void setMaterialVertexTexture(video::SMaterial& material, u32 layer, video::ITexture* texture)
{
	if (layer < MATERIAL_MAX_VERTEX_TEXTURES)
		writeLayer(material, true, layer, &SMaterialLayerExt::Texture, texture);
}

video::ITexture* getMaterialVertexTexture(const video::SMaterial& material, u32 layer)
{
	const SMaterialExt* record = getMaterialExt(material);
	return record && layer < MATERIAL_MAX_VERTEX_TEXTURES ? record->VertexTextureLayer[layer].Texture : nullptr;
}

void setMaterialVertexTextureSRGB(video::SMaterial& material, u32 layer, u32 srgb)
{
	if (layer < MATERIAL_MAX_VERTEX_TEXTURES)
		writeLayer(material, true, layer, &SMaterialLayerExt::SRGB, srgb);
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

// ---- Collection --------------------------------------------------------------------------
u32 getMaterialExtHandle(const video::SMaterial& material)
{
	const u32 handle = handleOf(material);
	return find(handle) ? handle : 0;
}

void markMaterialExt(const video::SMaterial& material)
{
	if (SSlot* s = find(handleOf(material)))
		s->Marked = sideRecords().Collection;
}

void markMeshMaterialExts(scene::IMesh* mesh)
{
	if (!mesh)
		return;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		if (scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b))
			markMaterialExt(buffer->getMaterial());
	if (scene::SAnimatedMesh* frames = dynamic_cast<scene::SAnimatedMesh*>(mesh))
		for (u32 f = 0; f < frames->Meshes.size(); ++f)
			markMeshMaterialExts(frames->Meshes[f]);
}

namespace
{
void markNode(scene::ISceneNode* node)
{
	for (u32 i = 0; i < node->getMaterialCount(); ++i)
		markMaterialExt(node->getMaterial(i));
	if (scene::IMeshSceneNode* meshNode = dynamic_cast<scene::IMeshSceneNode*>(node))
		markMeshMaterialExts(meshNode->getMesh());
	else if (scene::IAnimatedMeshSceneNode* animated = dynamic_cast<scene::IAnimatedMeshSceneNode*>(node))
		markMeshMaterialExts(animated->getMesh());
	const core::list<scene::ISceneNode*>& children = node->getChildren();
	for (core::list<scene::ISceneNode*>::ConstIterator it = children.begin(); it != children.end(); ++it)
		markNode(*it);
}

void markHeldMaterial(void* material)
{
	markMaterialExt(*static_cast<const video::SMaterial*>(material));
}
} // namespace

void markSceneMaterialExts(scene::ISceneManager* sceneManager)
{
	if (!sceneManager)
		return;
	if (scene::ISceneNode* root = sceneManager->getRootSceneNode())
		markNode(root);
	if (scene::IMeshCache* cache = sceneManager->getMeshCache())
		for (u32 i = 0; i < cache->getMeshCount(); ++i)
			markMeshMaterialExts(cache->getMeshByIndex(i));
	if (video::IVideoDriver* driver = sceneManager->getVideoDriver())
	{
		markMaterialExt(driver->getOverrideMaterial().Material);
		markMaterialExt(driver->getMaterial2D());
	}
}

CMaterialExtHolder::CMaterialExtHolder(MaterialExtMarker mark, void* holder) : Mark(mark), Holder(holder)
{
	sideRecords().Holders.push_back({Mark, Holder});
}

CMaterialExtHolder::CMaterialExtHolder(const video::SMaterial& material)
	: CMaterialExtHolder(markHeldMaterial, const_cast<video::SMaterial*>(&material))
{
}

CMaterialExtHolder::~CMaterialExtHolder()
{
	std::vector<SHolder>& holders = sideRecords().Holders;
	for (auto it = holders.begin(); it != holders.end(); ++it)
		if (it->Mark == Mark && it->Holder == Holder)
		{
			holders.erase(it);
			break;
		}
}

u32 sweepMaterialExts()
{
	SSideRecords& records = sideRecords();
	if (records.Batches > 0)
	{
		records.SweepWaiting = true;
		return 0;
	}
	records.SweepWaiting = false;
	const u32 collection = ++records.Collection;
	for (std::size_t i = 0; i < records.Holders.size(); ++i)
		records.Holders[i].Mark(records.Holders[i].Holder);
	u32 released = 0;
	for (u32 slot = 0; slot < records.Slots.size(); ++slot)
		if (records.Slots[slot].Live && records.Slots[slot].Marked != collection)
		{
			release(slot);
			++released;
		}
	records.LiveAfterCollection = records.Live;
	return released;
}

u32 collectGrownMaterialExts()
{
	const SSideRecords& records = sideRecords();
	if (records.Live < 2 * records.LiveAfterCollection + GROWTH_FLOOR)
		return 0;
	return sweepMaterialExts();
}

CMaterialExtSweepBatch::CMaterialExtSweepBatch()
{
	++sideRecords().Batches;
}

CMaterialExtSweepBatch::~CMaterialExtSweepBatch()
{
	SSideRecords& records = sideRecords();
	if (--records.Batches == 0 && records.SweepWaiting)
		sweepMaterialExts();
}

void clearMaterialExts()
{
	SSideRecords& records = sideRecords();
	for (u32 slot = 0; slot < records.Slots.size(); ++slot)
		if (records.Slots[slot].Live)
			release(slot);
	records.LiveAfterCollection = 0;
}

u32 getMaterialExtCount()
{
	return sideRecords().Live;
}

u32 getMaterialExtSlotCount()
{
	return static_cast<u32>(sideRecords().Slots.size());
}

void setMaterialExtLimitForTests(u32 records)
{
	sideRecords().LiveLimit = records && records < MAX_SLOTS ? records : MAX_SLOTS;
}
} // namespace ze
