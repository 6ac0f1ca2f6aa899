#include "discovery/discovery_state.h"

discovery_state g_discovery;
