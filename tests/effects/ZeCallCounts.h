// Counts of GL calls and heap allocations made while a ZeCounting scope is
// open, for tests that check what a piece of code leaves out. The GL entry
// points are replaced in the test program (they forward to the driver's);
// so are the global operator new and delete (they forward to malloc and free).
#pragma once

namespace zetest
{
struct SCallCounts
{
	int BindTexture = 0;
	int BindSampler = 0;
	int UseProgram = 0;
	int FrontFace = 0;
	int FrontFaceQueries = 0;  // glGetIntegerv(GL_FRONT_FACE, ...)
	int Allocations = 0;
};

// Counts from construction to destruction into `counts` (reset first).
class ZeCounting
{
public:
	explicit ZeCounting(SCallCounts& counts);
	~ZeCounting();
	ZeCounting(const ZeCounting&) = delete;
	ZeCounting& operator=(const ZeCounting&) = delete;
};
} // namespace zetest
