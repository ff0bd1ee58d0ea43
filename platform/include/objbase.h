// COM, as the Windows headers offer it.
#pragma once

#include "combaseapi.h"
