#pragma once

// The fixed waits of the main window, in milliseconds. They run on timers of the user-interface
// thread, never as sleeps; tests and benchmarks shorten them before the window is made.
struct AppTimings
{
    int splashMs = 2000;   // the splash window stays this long after the library started
    int closePollMs = 500; // a close during a refresh checks this often for the worker's end
    int minuteMs = 60000;  // one minute of the refresh interval
    // After a command the projectors are given this long before they are read back.
    int powerWaitMs = 3000;
    int inputWaitMs = 1500;
    int muteWaitMs = 1000;
};

AppTimings &Timings();
