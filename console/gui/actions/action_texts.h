// The confirmations the actions show themselves (information icon); failures go through
// ShowMessage's table.
#pragma once

inline constexpr const char* kSettingSucceededText = "Setting Succeeded!";
inline constexpr const char* kTeamingSucceededText = "Teaming Succeeded!";
inline constexpr const char* kUnteamingSucceededText = "Unteaming Succeeded!";
inline constexpr const char* kRestartingText = "The host computer is now restarting!";
