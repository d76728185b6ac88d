// Test programs run side by side, and each may start the library: let them.
#include "core/core_api.h"

namespace {

const int g_allowInstances = SetAllowMultipleInstances(1);

}  // namespace
