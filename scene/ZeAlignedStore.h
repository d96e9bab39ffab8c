// Zero-filled storage aligned to 64 bytes for the XM vertex and matrix arrays.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace ze
{
template <typename T>
class TZeAlignedStore
{
	static_assert(std::is_trivially_copyable<T>::value, "aligned store holds plain data");

public:
	static constexpr std::size_t ALIGNMENT = 64;

	TZeAlignedStore() = default;
	~TZeAlignedStore() { release(); }

	TZeAlignedStore(const TZeAlignedStore& other)
	{
		if (other.Count && allocate(other.Count))
			std::memcpy(static_cast<void*>(Data), other.Data, other.Count * sizeof(T));
	}

	TZeAlignedStore(TZeAlignedStore&& other) noexcept : Data(other.Data), Count(other.Count)
	{
		other.Data = nullptr;
		other.Count = 0;
	}

	TZeAlignedStore& operator=(const TZeAlignedStore& other)
	{
		if (this != &other)
		{
			TZeAlignedStore copy(other);
			swap(copy);
		}
		return *this;
	}

	TZeAlignedStore& operator=(TZeAlignedStore&& other) noexcept
	{
		if (this != &other)
		{
			release();
			swap(other);
		}
		return *this;
	}

	// Replaces the contents with `count` zero-filled elements; false (and empty)
	// when the memory cannot be had.
	bool allocate(std::size_t count)
	{
		release();
		if (!count)
			return true;
		if (count > (std::size_t(-1) - ALIGNMENT) / sizeof(T))
			return false;
		const std::size_t bytes = (count * sizeof(T) + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
		void* memory = std::aligned_alloc(ALIGNMENT, bytes);
		if (!memory)
			return false;
		std::memset(memory, 0, bytes);
		Data = static_cast<T*>(memory);
		Count = count;
		return true;
	}

	void release()
	{
		std::free(Data);
		Data = nullptr;
		Count = 0;
	}

	void swap(TZeAlignedStore& other) noexcept
	{
		T* data = Data;
		Data = other.Data;
		other.Data = data;
		const std::size_t count = Count;
		Count = other.Count;
		other.Count = count;
	}

	T* data() { return Data; }
	const T* data() const { return Data; }
	std::size_t size() const { return Count; }
	T& operator[](std::size_t i) { return Data[i]; }
	const T& operator[](std::size_t i) const { return Data[i]; }

private:
	T* Data = nullptr;
	std::size_t Count = 0;
};
} // namespace ze
