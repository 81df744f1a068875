// Request text for lumoShowPay: the engine's UTF-16 string as the
// NUL-terminated UTF-8 the library takes, or a refusal when it cannot arrive
// whole: an embedded NUL would cut it short, an unpaired surrogate has no
// UTF-8 form (the engine's own conversion would replace it silently). The
// binding for C# refuses the same texts. Plain C++ without engine types, so
// the SDK's tests compile it too; any thread may call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace LumoRequestText
{
// Appends the UTF-8 form of Text[0..Length) and a terminating NUL to Out and
// returns true, or returns false and leaves Out unchanged. CharT holds UTF-16
// code units (TCHAR on Windows) or, when 4 bytes wide, code points.
template <typename CharT>
bool ToUtf8z(const CharT* Text, std::size_t Length, std::string& Out)
{
	std::string Bytes;
	Bytes.reserve(Length * 3 + 1);
	for (std::size_t I = 0; I < Length; ++I)
	{
		uint32_t Point = static_cast<uint32_t>(Text[I]);
		if (Point == 0 || Point > 0x10FFFF || (Point >= 0xDC00 && Point <= 0xDFFF))
		{
			return false;
		}
		if (Point >= 0xD800 && Point <= 0xDBFF)
		{
			const uint32_t Low = I + 1 < Length ? static_cast<uint32_t>(Text[I + 1]) : 0;
			if (Low < 0xDC00 || Low > 0xDFFF)
			{
				return false;
			}
			Point = 0x10000 + ((Point - 0xD800) << 10) + (Low - 0xDC00);
			++I;
		}
		if (Point < 0x80)
		{
			Bytes += static_cast<char>(Point);
		}
		else if (Point < 0x800)
		{
			Bytes += static_cast<char>(0xC0 | (Point >> 6));
			Bytes += static_cast<char>(0x80 | (Point & 0x3F));
		}
		else if (Point < 0x10000)
		{
			Bytes += static_cast<char>(0xE0 | (Point >> 12));
			Bytes += static_cast<char>(0x80 | ((Point >> 6) & 0x3F));
			Bytes += static_cast<char>(0x80 | (Point & 0x3F));
		}
		else
		{
			Bytes += static_cast<char>(0xF0 | (Point >> 18));
			Bytes += static_cast<char>(0x80 | ((Point >> 12) & 0x3F));
			Bytes += static_cast<char>(0x80 | ((Point >> 6) & 0x3F));
			Bytes += static_cast<char>(0x80 | (Point & 0x3F));
		}
	}
	Bytes += '\0';
	Out += Bytes;
	return true;
}
} // namespace LumoRequestText
