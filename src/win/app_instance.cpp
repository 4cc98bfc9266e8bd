// The one definition of the instance handle, on the layer every window uses.
#include "app_instance.h"

HINSTANCE hAppInstance;
