#pragma once

// Limits of the registry. The tree operations do not enforce them: the dialogs that create or
// move nodes check them first and tell the user why a change is refused.
inline constexpr int MAX_PROJECTORS = 100;
inline constexpr int MAX_GROUP_DEPTH = 2;
