#include "store/preferences.h"

int Preferences::InRange(long long value)
{
    if (value < MIN_MINUTES_OR_SECONDS || value > MAX_MINUTES_OR_SECONDS)
        return DEFAULT_MINUTES_OR_SECONDS;
    return int(value);
}
