#include "kestrelupdate/UpdateArt.h"

// The artwork lives in a static library: its resources are registered by hand.
static void RegisterUpdateResources()
{
    Q_INIT_RESOURCE(update);
}

void InitUpdateArt()
{
    static const bool done = (RegisterUpdateResources(), true);
    (void)done;
}
