#pragma once
// The launcher's application: runs the dashboard as its one dialog.

#include "basekit/CorvaleApp.h"

class CKestrelApp : public CCorvaleApp {
public:
    CKestrelApp();

private:
    static int StartApp(void* self);
};
