// Whether a command line names the "parent" option in any form the library
// reads (tokens split at spaces; prefix "--", "-" or "/"; the name,
// case-sensitive; then "=", ":" or the token's end). In the editor the nodes
// refuse LumoInit then: the library would move the editor's window into that
// parent window. Plain C++ without engine types, so the SDK's tests compile
// it too; any thread may call it.
#pragma once

namespace LumoEditorGuard
{
template <typename CharT>
bool NamesParent(const CharT* CommandLine)
{
	static const char Name[] = "parent";
	const CharT* Token = CommandLine;
	while (Token != nullptr && *Token != 0)
	{
		while (*Token == ' ')
		{
			++Token;
		}
		const CharT* Rest = Token;
		if (Rest[0] == '-' && Rest[1] == '-')
		{
			Rest += 2;
		}
		else if (Rest[0] == '-' || Rest[0] == '/')
		{
			Rest += 1;
		}
		if (Rest != Token)
		{
			int I = 0;
			while (Name[I] != 0 && Rest[I] == static_cast<CharT>(Name[I]))
			{
				++I;
			}
			if (Name[I] == 0 && (Rest[I] == 0 || Rest[I] == ' ' || Rest[I] == '=' || Rest[I] == ':'))
			{
				return true;
			}
		}
		while (*Token != 0 && *Token != ' ')
		{
			++Token;
		}
	}
	return false;
}
} // namespace LumoEditorGuard
