#include "dialogs/dialogtimings.h"

DialogTimings &DialogTiming()
{
    static DialogTimings timings;
    return timings;
}
