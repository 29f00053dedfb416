#pragma once

// The fixed waits of the registration dialogs, in milliseconds. They run on timers of the
// user-interface thread, never as sleeps; tests shorten them before a dialog is made.
struct DialogTimings
{
    int searchPollMs = 100; // how often a running search is looked at
};

DialogTimings &DialogTiming();
