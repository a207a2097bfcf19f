// Big-endian fields in byte buffers: the byte order of SCSI command blocks,
// parameter lists and drive answers. The caller guarantees that the bytes lie
// inside its buffer. Header only; any thread.
#pragma once

#include "kit/support/SupportDefs.h"

inline uint16 GetBe16(const uint8* p)
{
	return uint16((uint32(p[0]) << 8) | p[1]);
}

inline uint32 GetBe24(const uint8* p)
{
	return (uint32(p[0]) << 16) | (uint32(p[1]) << 8) | p[2];
}

inline uint32 GetBe32(const uint8* p)
{
	return (uint32(p[0]) << 24) | (uint32(p[1]) << 16) | (uint32(p[2]) << 8) | p[3];
}

// The setters keep the low 16, 24 or 32 bits of `value`.
inline void SetBe16(uint8* p, uint32 value)
{
	p[0] = uint8(value >> 8);
	p[1] = uint8(value);
}

inline void SetBe24(uint8* p, uint32 value)
{
	p[0] = uint8(value >> 16);
	p[1] = uint8(value >> 8);
	p[2] = uint8(value);
}

inline void SetBe32(uint8* p, uint32 value)
{
	p[0] = uint8(value >> 24);
	p[1] = uint8(value >> 16);
	p[2] = uint8(value >> 8);
	p[3] = uint8(value);
}
