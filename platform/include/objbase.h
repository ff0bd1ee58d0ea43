// COM for the program: the base API and the single-threaded start.
#pragma once

#include "combaseapi.h"
#include "objidl.h"

WINOLEAPI CoInitialize(LPVOID pvReserved);
