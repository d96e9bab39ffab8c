// Integer and bool globals of a SPIR-V module moved into float registers.
#include "core/ZeSpirvIntegers.h"

#include <algorithm>
#include <initializer_list>
#include <unordered_map>

namespace ze
{
namespace
{
// Registers are float4: int and bool globals are stored as floats in the
// global block and converted where they are loaded. glslang keeps bool as uint.
const uint32_t OP_TYPE_INT = 21, OP_TYPE_FLOAT = 22, OP_TYPE_VECTOR = 23, OP_TYPE_ARRAY = 28,
	OP_TYPE_STRUCT = 30, OP_TYPE_POINTER = 32, OP_VARIABLE = 59, OP_LOAD = 61, OP_ACCESS_CHAIN = 65,
	OP_IN_BOUNDS_ACCESS_CHAIN = 66, OP_COPY_OBJECT = 83, OP_CONVERT_F_TO_U = 109, OP_CONVERT_F_TO_S = 110,
	OP_DECORATE = 71, DECORATION_ARRAY_STRIDE = 6, STORAGE_UNIFORM = 2;

bool isTypeOp(uint32_t op)
{
	return op >= 19 && op <= 39;
}

class CIntegerGlobals
{
public:
	explicit CIntegerGlobals(std::vector<uint32_t>& words) : W(words) {}

	bool run(std::string& error)
	{
		if (W.size() < 5)
			return true;
		for (size_t at = 5; at < W.size();)
		{
			const uint32_t count = W[at] >> 16;
			if (count == 0 || at + count > W.size())
			{
				error = "malformed SPIR-V";
				return false;
			}
			Starts.push_back(at);
			const uint32_t op = W[at] & 0xffff;
			if (isTypeOp(op) && count > 1)
				Decl[W[at + 1]] = at;
			if (op == OP_VARIABLE && W[at + 3] == STORAGE_UNIFORM)
				Blocks.push_back(W[at + 1]);
			if (op == OP_VARIABLE || op == OP_ACCESS_CHAIN || op == OP_IN_BOUNDS_ACCESS_CHAIN || op == OP_COPY_OBJECT)
				TypeOf[W[at + 2]] = W[at + 1];
			at += count;
		}
		if (Blocks.size() != 1 || !Decl.count(Blocks[0]) || op(W[Decl[Blocks[0]] + 3]) != OP_TYPE_STRUCT)
			return true;
		StructAt = Decl[W[Decl[Blocks[0]] + 3]];
		bool any = false;
		for (uint32_t i = StructAt + 2; i < StructAt + (W[StructAt] >> 16); ++i)
			any = any || isInteger(W[i]);
		if (!any)
			return true;
		Bound = W[3];
		return rewrite(error);
	}

private:
	uint32_t op(uint32_t id) const
	{
		auto it = Decl.find(id);
		return it == Decl.end() ? 0 : W[it->second] & 0xffff;
	}

	bool isInteger(uint32_t type) const
	{
		const uint32_t o = op(type);
		if (o == OP_TYPE_INT)
			return true;
		if (o == OP_TYPE_VECTOR || o == OP_TYPE_ARRAY)
			return isInteger(W[Decl.at(type) + 2]);
		return false;
	}

	bool isSigned(uint32_t type) const
	{
		const size_t at = Decl.at(type);
		return (W[at] & 0xffff) == OP_TYPE_INT ? W[at + 3] != 0 : isSigned(W[at + 2]);
	}

	// A type declared before the block, matching the words after the result id.
	uint32_t findBefore(uint32_t opcode, std::initializer_list<uint32_t> operands) const
	{
		for (size_t at : Starts)
		{
			if (at >= StructAt)
				break;
			if ((W[at] & 0xffff) == opcode && (W[at] >> 16) == operands.size() + 2
				&& std::equal(operands.begin(), operands.end(), W.begin() + static_cast<long>(at) + 2))
				return W[at + 1];
		}
		return 0;
	}

	uint32_t addType(uint32_t opcode, std::initializer_list<uint32_t> operands)
	{
		const uint32_t id = Bound++;
		NewTypes.push_back(static_cast<uint32_t>(operands.size() + 2) << 16 | opcode);
		NewTypes.push_back(id);
		NewTypes.insert(NewTypes.end(), operands);
		return id;
	}

	uint32_t floatOf(uint32_t type)
	{
		auto known = FloatOf.find(type);
		if (known != FloatOf.end())
			return known->second;
		if (!Float && !(Float = findBefore(OP_TYPE_FLOAT, {32})))
			Float = addType(OP_TYPE_FLOAT, {32});
		const size_t at = Decl.at(type);
		uint32_t result = Float;
		if ((W[at] & 0xffff) == OP_TYPE_VECTOR)
		{
			result = findBefore(OP_TYPE_VECTOR, {Float, W[at + 3]});
			if (!result)
				result = addType(OP_TYPE_VECTOR, {Float, W[at + 3]});
		}
		else if ((W[at] & 0xffff) == OP_TYPE_ARRAY)
		{
			const uint32_t element = floatOf(W[at + 2]);
			result = addType(OP_TYPE_ARRAY, {element, W[at + 3]});
			for (size_t d : Starts)
				if ((W[d] & 0xffff) == OP_DECORATE && W[d] >> 16 == 4 && W[d + 1] == type
					&& W[d + 2] == DECORATION_ARRAY_STRIDE)
					NewDecorations.insert(NewDecorations.end(), {4u << 16 | OP_DECORATE, result, DECORATION_ARRAY_STRIDE, W[d + 3]});
		}
		FloatOf[type] = result;
		return result;
	}

	bool rewrite(std::string& error)
	{
		// Retype the block's members and the uniform pointers into them.
		for (uint32_t i = StructAt + 2; i < StructAt + (W[StructAt] >> 16); ++i)
			if (isInteger(W[i]))
				W[i] = floatOf(W[i]);
		std::unordered_map<uint32_t, bool> pointers;  // retyped pointer types
		for (size_t at : Starts)
			if ((W[at] & 0xffff) == OP_TYPE_POINTER && W[at + 2] == STORAGE_UNIFORM && isInteger(W[at + 3]))
			{
				W[at + 3] = floatOf(W[at + 3]);
				pointers[W[at + 1]] = true;
			}
		size_t firstType = W.size();
		for (size_t at : Starts)
			if (isTypeOp(W[at] & 0xffff))
			{
				firstType = at;
				break;
			}
		std::vector<uint32_t> out(W.begin(), W.begin() + 5);
		out.reserve(W.size() + NewTypes.size() + NewDecorations.size() + 64);
		for (size_t at : Starts)
		{
			if (at == firstType)
				out.insert(out.end(), NewDecorations.begin(), NewDecorations.end());
			if (at == StructAt)
				out.insert(out.end(), NewTypes.begin(), NewTypes.end());
			const uint32_t count = W[at] >> 16;
			auto pointerType = (W[at] & 0xffff) == OP_LOAD ? TypeOf.find(W[at + 3]) : TypeOf.end();
			if (pointerType == TypeOf.end() || !pointers.count(pointerType->second))
			{
				out.insert(out.end(), W.begin() + static_cast<long>(at), W.begin() + static_cast<long>(at + count));
				continue;
			}
			const uint32_t type = W[at + 1], id = W[at + 2];
			if (op(type) == OP_TYPE_ARRAY)
			{
				error = "an int or bool array global is read whole; index it instead";
				return false;
			}
			const uint32_t loaded = Bound++;
			out.insert(out.end(), W.begin() + static_cast<long>(at), W.begin() + static_cast<long>(at + count));
			const size_t load = out.size() - count;
			out[load + 1] = FloatOf.at(type);
			out[load + 2] = loaded;
			out.insert(out.end(), {4u << 16 | (isSigned(type) ? OP_CONVERT_F_TO_S : OP_CONVERT_F_TO_U), type, id, loaded});
		}
		out[3] = Bound;
		W.swap(out);
		return true;
	}

	std::vector<uint32_t>& W;
	std::vector<size_t> Starts;
	std::unordered_map<uint32_t, size_t> Decl;
	std::unordered_map<uint32_t, uint32_t> TypeOf;
	std::unordered_map<uint32_t, uint32_t> FloatOf;
	std::vector<uint32_t> Blocks;
	std::vector<uint32_t> NewTypes, NewDecorations;
	size_t StructAt = 0;
	uint32_t Bound = 0, Float = 0;
};
} // namespace

bool storeIntegerGlobalsAsFloats(std::vector<uint32_t>& spirv, std::string& error)
{
	return CIntegerGlobals(spirv).run(error);
}
} // namespace ze
