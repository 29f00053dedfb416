#pragma once

// The five user preferences kept in the settings file's [Property] section, with their
// defaults.
struct Preferences
{
    static constexpr int MIN_MINUTES_OR_SECONDS = 1;
    static constexpr int MAX_MINUTES_OR_SECONDS = 10;
    static constexpr int DEFAULT_MINUTES_OR_SECONDS = 5;

    int refreshInterval = DEFAULT_MINUTES_OR_SECONDS; // minutes between refresh cycles
    int timeout = DEFAULT_MINUTES_OR_SECONDS;         // seconds the library waits for an answer
    bool showInformation = true;
    bool displayOnlyError = false;
    bool entryManagerDlg = false; // stored and written back; nothing else depends on it

    // A value outside 1..10 becomes the default, as when the file is read.
    static int InRange(long long value);
};
