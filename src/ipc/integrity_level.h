// The mandatory integrity level of processes. A launcher that runs elevated
// creates its channel and window at a higher level than a game started at
// medium level, and Windows then denies the game write access to both; the
// log lines for an access denied name the two levels. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace lumo {

enum class IntegrityLevel { Unknown, Untrusted, Low, Medium, MediumPlus, High, System, Protected };

// The level of process `pid`; Unknown when its token cannot be read (as a
// rule for a more privileged process) or it is gone.
IntegrityLevel ProcessIntegrityLevel(uint32_t pid);
IntegrityLevel OwnIntegrityLevel();

// The level for a mandatory-label RID (SECURITY_MANDATORY_*_RID).
IntegrityLevel IntegrityLevelFromRid(uint32_t rid);
const wchar_t* IntegrityLevelName(IntegrityLevel level);

// The levels of a launcher and of its game, always read and passed as one,
// so that no explanation gets them the wrong way round.
struct IntegrityLevels {
  IntegrityLevel launcher = IntegrityLevel::Unknown;
  IntegrityLevel game = IntegrityLevel::Unknown;
};
// The level of the launcher process `launcherPid` and this process's own.
IntegrityLevels LauncherAndGameLevels(uint32_t launcherPid);

// The clause a log line about an access denied by the host's objects ends
// with: that the launcher may run at a higher level (or, when both levels
// are known and the launcher's is not higher, that they are not the cause),
// both levels named.
std::wstring HigherIntegrityHint(IntegrityLevels levels);

}  // namespace lumo
