#pragma once

#include <QString>

// Where ICMP echo is not permitted, reachability is checked by a TCP connect instead, and the
// user is told so. A cron job would mail that notice at every run, so lumarinctl tells it once
// per user and machine, remembered by a marker in the user's state directory, and again at
// every run with --verbose.

// Takes the platform's fallback notice over for this process.
void InstallFallbackNotice(bool verbose);

// $XDG_STATE_HOME/lumarin (default ~/.local/state/lumarin)/tcp-fallback-noticed.HOSTNAME
QString FallbackMarkerPath();
