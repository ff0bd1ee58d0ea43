// RPC, as the Windows headers offer it: the UUID functions.
#pragma once

#include "rpcdce.h"
