#pragma once

// Limits of the registry. The tree operations do not enforce them: the dialogs that create or
// move nodes check them first and tell the user why a change is refused.
inline constexpr int MAX_PROJECTORS = 100;
inline constexpr int MAX_GROUP_DEPTH = 2;
// A group name has 1 to MAX_GROUP_NAME_LENGTH characters.
inline constexpr int MAX_GROUP_NAME_LENGTH = 20;
