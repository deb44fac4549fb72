// The resources live in the loading program's resource tree exactly while
// the library is loaded: the static object below registers them when the
// dynamic loader runs the library's initialisers and removes them when it
// unloads the library (or the program ends).
#include "kestrelres/ResourceData.h"

#include <QResource>

#include <cstdio>

namespace {

class Registration {
public:
    Registration() : registered_(QResource::registerResource(kestrelres::kResourceData))
    {
        // A library cannot make the loader fail from its initialisers; what
        // it can do is hold nothing rather than something half-registered,
        // and say why.
        if (!registered_)
            std::fputs("kestrelres: this Qt cannot read the library's resources (made by a newer rcc?); "
                       "none are available\n",
                       stderr);
    }

    ~Registration()
    {
        if (registered_)
            QResource::unregisterResource(kestrelres::kResourceData);
    }

    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    bool registered_;
};

const Registration registration;

} // namespace
