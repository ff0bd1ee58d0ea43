// A library for the machine's drives: a host shared object with one Windows-style export.
extern "C" int UnregisterDeployEx(int value) { return value + 1; }
