#include "ZeCallCounts.h"

#include "libext/ZeGL.h"

#include <dlfcn.h>

#include <cstdlib>
#include <new>

namespace
{
zetest::SCallCounts* g_counts = nullptr;

// The driver's entry point of a name (the next one after this program's).
template <typename F>
F real(const char* name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void* allocate(std::size_t size)
{
	if (g_counts)
		++g_counts->Allocations;
	if (void* p = std::malloc(size ? size : 1))
		return p;
	throw std::bad_alloc();
}
} // namespace

zetest::ZeCounting::ZeCounting(SCallCounts& counts)
{
	counts = SCallCounts();
	g_counts = &counts;
}

zetest::ZeCounting::~ZeCounting()
{
	g_counts = nullptr;
}

extern "C"
{
void glBindTexture(GLenum target, GLuint texture)
{
	static const auto f = real<void (*)(GLenum, GLuint)>("glBindTexture");
	if (g_counts)
		++g_counts->BindTexture;
	f(target, texture);
}

void glBindSampler(GLuint unit, GLuint sampler)
{
	static const auto f = real<void (*)(GLuint, GLuint)>("glBindSampler");
	if (g_counts)
		++g_counts->BindSampler;
	f(unit, sampler);
}

void glUseProgram(GLuint program)
{
	static const auto f = real<void (*)(GLuint)>("glUseProgram");
	if (g_counts)
		++g_counts->UseProgram;
	f(program);
}

void glFrontFace(GLenum mode)
{
	static const auto f = real<void (*)(GLenum)>("glFrontFace");
	if (g_counts)
		++g_counts->FrontFace;
	f(mode);
}

void glGetIntegerv(GLenum name, GLint* data)
{
	static const auto f = real<void (*)(GLenum, GLint*)>("glGetIntegerv");
	if (g_counts && name == GL_FRONT_FACE)
		++g_counts->FrontFaceQueries;
	f(name, data);
}
}

void* operator new(std::size_t size)
{
	return allocate(size);
}

void* operator new[](std::size_t size)
{
	return allocate(size);
}

void operator delete(void* p) noexcept
{
	std::free(p);
}

void operator delete[](void* p) noexcept
{
	std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
	std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
	std::free(p);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
	if (g_counts)
		++g_counts->Allocations;
	return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
	return operator new(size, tag);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
	std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
	std::free(p);
}
