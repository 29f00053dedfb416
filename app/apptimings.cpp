#include "app/apptimings.h"

AppTimings &Timings()
{
    static AppTimings timings;
    return timings;
}
