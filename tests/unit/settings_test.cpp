#include "settings/settings.h"
#include <gtest/gtest.h>
