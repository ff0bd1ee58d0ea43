// A deployment library that lacks "UnregisterDeployEx": it offers another name only.
extern "C" int RegisterDeployEx(void*, void*) { return 1; }
