#include "sdk/elevated_game.h"

namespace lumo {

std::wstring GameAboveLauncherWarning(IntegrityLevels levels) {
  const IntegrityLevel launcher = levels.launcher;
  const IntegrityLevel game = levels.game;
  if (game == IntegrityLevel::Unknown || launcher == IntegrityLevel::Unknown || game <= launcher) {
    return std::wstring();
  }
  return std::wstring(L"EmbedGameWindow warning: the game runs at a higher integrity level than the launcher (game: ") +
         IntegrityLevelName(game) + L", launcher: " + IntegrityLevelName(launcher) +
         L"); the embedding takes, but Windows keeps the launcher from sizing the game window and from writing to "
         L"the game's channel: start the game at the launcher's level (not as administrator), or the launcher at "
         L"the game's";
}

}  // namespace lumo
